#include "tools/make/show/card_texts.h"

#include <algorithm>
#include <set>

namespace {

constexpr const char* DOT = " \u00B7 ";  // between a place and a date
constexpr size_t MOST_NAMED = 3;         // places a title names before it names countries

std::string joined(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + DOT + b;
}

}  // namespace

std::string one_line(const std::string& text, size_t most) {
  std::string out;
  for (unsigned char c : text) {
    const bool control = c < 0x20 || c == 0x7F;
    if (control) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += static_cast<char>(c);
    }
  }
  if (out.size() > most) {
    size_t cut = most;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

SetTexts set_texts(const std::vector<PhotoMoment>& photos, const std::vector<Chapter>& chapters,
                   const std::vector<int>& place_of, const std::vector<PlaceName>& places, const DateWords& words,
                   CaptionChoice captions, const std::string& folder) {
  SetTexts out;
  // The places in the order they were first met, and whether they lie in more than one country.
  std::vector<int> met;
  std::set<std::string> countries;
  for (int p : place_of)
    if (p >= 0 && std::find(met.begin(), met.end(), p) == met.end()) met.push_back(p), countries.insert(places[p].country);
  const bool abroad = countries.size() > 1;
  auto place_text = [&](int p) {
    if (p < 0) return std::string();
    return abroad ? places[p].name + ", " + words.country(places[p].country) : places[p].name;
  };
  bool dated = false;
  CivilDay first, last;
  for (const PhotoMoment& m : photos) {
    CivilDay day;
    double seconds = 0;
    if (!civil_time(m.taken, day, seconds)) continue;
    if (!dated || day < first) first = day;
    if (!dated || last < day) last = day;
    dated = true;
  }
  const bool years = dated && first.year != last.year;

  // The title: up to three places by name, else up to three countries, then the dates.
  std::vector<std::string> names;
  if (met.size() <= MOST_NAMED) {
    for (int p : met) names.push_back(places[p].name);
  } else if (countries.size() <= MOST_NAMED) {
    std::vector<std::string> seen;
    for (int p : met)
      if (std::find(seen.begin(), seen.end(), places[p].country) == seen.end()) seen.push_back(places[p].country);
    for (const std::string& c : seen) names.push_back(words.country(c));
  }
  out.title = joined(words.list(names), dated ? words.span(first, last) : "");
  if (out.title.empty()) out.title = one_line(folder);

  for (const Chapter& c : chapters)
    out.chapters.push_back(joined(place_text(c.place), c.dated ? words.days(c.first_day, c.last_day, years) : ""));

  for (size_t i = 0; i < photos.size(); ++i) {
    CivilDay day;
    double seconds = 0;
    const bool timed = civil_time(photos[i].taken, day, seconds);
    const std::string date = timed ? words.date(day) : "";
    const std::string place = i < place_of.size() ? place_text(place_of[i]) : "";
    switch (captions) {
      case CaptionChoice::None: out.captions.push_back(""); break;
      case CaptionChoice::Date: out.captions.push_back(date); break;
      case CaptionChoice::Place: out.captions.push_back(place); break;
      case CaptionChoice::Both: out.captions.push_back(joined(place, date)); break;
    }
  }
  return out;
}
