#include "tools/make/show/chapters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "tools/make/places/place_finder.h"

namespace {

// A neighbour this close in time lends its place alone, at either end of the set.
constexpr double LONE_NEIGHBOUR_SECONDS = 2 * 3600.0;

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar (Howard Hinnant's algorithm).
long days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Known {
  bool timed = false;
  CivilDay day;
  double seconds = 0;
};

std::vector<Known> times_of(const std::vector<PhotoMoment>& photos) {
  std::vector<Known> k(photos.size());
  for (size_t i = 0; i < photos.size(); ++i) k[i].timed = civil_time(photos[i].taken, k[i].day, k[i].seconds);
  return k;
}

}  // namespace

bool civil_time(const std::string& taken, CivilDay& day, double& seconds) {
  int y, mo, d, h, mi, s;
  if (taken.size() < 19 || std::sscanf(taken.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6) return false;
  static constexpr int DAYS[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > DAYS[mo - 1] || h > 23 || mi > 59 || s > 60) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (mo == 2 && d == 29 && !leap) return false;
  day = {y, mo, d};
  seconds = days_from_civil(y, mo, d) * 86400.0 + h * 3600.0 + mi * 60.0 + s;
  return true;
}

std::vector<int> places_of(const std::vector<PhotoMoment>& photos) {
  const int n = static_cast<int>(photos.size());
  const std::vector<Known> when = times_of(photos);
  std::vector<int> place(n, -1);
  std::vector<int> before(n, -1), after(n, -1);  // the nearest photo with a place of its own
  for (int i = 0, last = -1; i < n; ++i) {
    before[i] = last;
    if (photos[i].place >= 0) last = i;
  }
  for (int i = n - 1, next = -1; i >= 0; --i) {
    after[i] = next;
    if (photos[i].place >= 0) next = i;
  }
  auto close = [&](int i, int j) {
    return when[i].timed && when[j].timed && std::abs(when[i].seconds - when[j].seconds) <= LONE_NEIGHBOUR_SECONDS;
  };
  for (int i = 0; i < n; ++i) {
    if (photos[i].place >= 0 || photos[i].located) {
      place[i] = photos[i].place;  // a position of its own naming no place stays without one
      continue;
    }
    const int b = before[i], a = after[i];
    if (b >= 0 && a >= 0) place[i] = photos[b].place == photos[a].place ? photos[b].place : -1;
    else if (b >= 0 && close(i, b)) place[i] = photos[b].place;
    else if (a >= 0 && close(i, a)) place[i] = photos[a].place;
  }
  return place;
}

std::vector<Chapter> make_chapters(const std::vector<PhotoMoment>& photos) {
  const int n = static_cast<int>(photos.size());
  if (n == 0) return {};
  const std::vector<Known> when = times_of(photos);
  const std::vector<int> place = places_of(photos);

  // Where the set parts: a long gap between two dated photos, or a photo far from where the
  // chapter's first located photo was taken.
  std::vector<int> starts{0};
  int anchor = photos[0].located ? 0 : -1;
  for (int i = 1; i < n; ++i) {
    bool part = when[i].timed && when[i - 1].timed && when[i].seconds - when[i - 1].seconds >= CHAPTER_GAP_HOURS * 3600;
    if (photos[i].located && anchor >= 0 &&
        distance_km(photos[anchor].latitude, photos[anchor].longitude, photos[i].latitude, photos[i].longitude) >=
            CHAPTER_DISTANCE_KM)
      part = true;
    if (part) starts.push_back(i), anchor = -1;
    if (anchor < 0 && photos[i].located) anchor = i;
  }

  std::vector<Chapter> chapters;
  auto describe = [&](int first, int count) {
    Chapter c;
    c.first = first;
    c.count = count;
    std::map<int, int> votes;
    for (int i = first; i < first + count; ++i) {
      if (place[i] >= 0) ++votes[place[i]];
      if (!when[i].timed) continue;
      if (!c.dated || when[i].day < c.first_day) c.first_day = when[i].day;
      if (!c.dated || c.last_day < when[i].day) c.last_day = when[i].day;
      c.dated = true;
    }
    // The place most of them name; of two as often named, the one named first.
    int best = 0;
    for (int i = first; i < first + count; ++i)
      if (place[i] >= 0 && votes[place[i]] > best) best = votes[place[i]], c.place = place[i];
    return c;
  };
  for (size_t k = 0; k < starts.size(); ++k)
    chapters.push_back(describe(starts[k], (k + 1 < starts.size() ? starts[k + 1] : n) - starts[k]));

  // A chapter of a few photos is no chapter: it joins the neighbour nearer in time (the one
  // before when that cannot be told). The shortest goes first, so a run of short ones gathers.
  const int fewest = std::max(3, n / 40);
  auto gap = [&](const Chapter& a, const Chapter& b) {
    const int i = a.first + a.count - 1, j = b.first;
    return when[i].timed && when[j].timed ? when[j].seconds - when[i].seconds : HUGE_VAL;
  };
  auto join = [&](size_t k) {  // chapter k and k + 1 become one
    chapters[k] = describe(chapters[k].first, chapters[k].count + chapters[k + 1].count);
    chapters.erase(chapters.begin() + static_cast<long>(k) + 1);
  };
  while (chapters.size() > 1) {
    size_t shortest = 0;
    for (size_t k = 1; k < chapters.size(); ++k)
      if (chapters[k].count < chapters[shortest].count) shortest = k;
    if (chapters[shortest].count >= fewest) break;
    const bool to_next = shortest == 0 ||
                         (shortest + 1 < chapters.size() && gap(chapters[shortest], chapters[shortest + 1]) <
                                                                gap(chapters[shortest - 1], chapters[shortest]));
    join(to_next ? shortest : shortest - 1);
  }
  // Neighbours that would be named alike: the same place on the same days (a long lunch).
  for (size_t k = 0; k + 1 < chapters.size();) {
    const Chapter &a = chapters[k], &b = chapters[k + 1];
    if (a.place == b.place && a.dated == b.dated && a.first_day == b.first_day && a.last_day == b.last_day) join(k);
    else ++k;
  }
  return chapters;
}
