#include "tools/make/photos/photo_quality.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <tuple>

namespace {

// The deviation of the picture's Laplacian: what is left of it once its smooth parts are taken away.
double laplacian_deviation(const uint8_t* grey, int width, int height) {
  double sum = 0, squares = 0;
  size_t n = 0;
  for (int y = 1; y + 1 < height; ++y)
    for (int x = 1; x + 1 < width; ++x) {
      const uint8_t* p = grey + static_cast<size_t>(y) * width + x;
      const double l = 4.0 * p[0] - p[-1] - p[1] - p[-width] - p[width];
      sum += l, squares += l * l, ++n;
    }
  return n ? std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n))) : 0.0;
}

}  // namespace

PhotoLooks look_at(const uint8_t* grey, int width, int height) {
  PhotoLooks looks;
  if (width <= 0 || height <= 0) return looks;
  const size_t n = static_cast<size_t>(width) * height;
  double sum = 0;
  size_t dark = 0;
  for (size_t i = 0; i < n; ++i) sum += grey[i], dark += grey[i] < 24;
  looks.luma = static_cast<float>(sum / n);
  looks.dark = static_cast<float>(static_cast<double>(dark) / n);

  // Sharpness: the deviation of the Laplacian, the finest detail, on the small copy (every photo is
  // looked at the same size, so that the values compare). A sharp photo keeps much of it even made
  // this small; a blurred one keeps next to none, and only the quantisation's noise is left. The
  // detail an octave coarser tells a blank picture from a blurred one.
  const int half_w = width / 2, half_h = height / 2;
  std::vector<uint8_t> half(static_cast<size_t>(std::max(half_w, 0)) * std::max(half_h, 0));
  for (int y = 0; y < half_h; ++y)
    for (int x = 0; x < half_w; ++x) {
      const uint8_t* p = grey + static_cast<size_t>(2 * y) * width + 2 * x;
      half[static_cast<size_t>(y) * half_w + x] = static_cast<uint8_t>((p[0] + p[1] + p[width] + p[width + 1] + 2) / 4);
    }
  looks.sharpness = static_cast<float>(laplacian_deviation(grey, width, height));
  looks.detail = static_cast<float>(laplacian_deviation(half.data(), half_w, half_h));

  // The difference hashes: the picture as 9 × 9 cells, each brighter than the one to its right or
  // not, and than the one below it or not.
  double cells[9][9] = {};
  for (int cy = 0; cy < 9; ++cy)
    for (int cx = 0; cx < 9; ++cx) {
      const int x0 = cx * width / 9, x1 = std::max(x0 + 1, (cx + 1) * width / 9);
      const int y0 = cy * height / 9, y1 = std::max(y0 + 1, (cy + 1) * height / 9);
      double s = 0;
      int count = 0;
      for (int y = y0; y < std::min(y1, height); ++y)
        for (int x = x0; x < std::min(x1, width); ++x) s += grey[static_cast<size_t>(y) * width + x], ++count;
      cells[cy][cx] = count ? s / count : 0;
    }
  for (int a = 0; a < 8; ++a)
    for (int b = 0; b < 8; ++b) {
      if (cells[a][b] > cells[a][b + 1]) looks.hash |= uint64_t(1) << (a * 8 + b);
      if (cells[b][a] > cells[b + 1][a]) looks.vertical_hash |= uint64_t(1) << (a * 8 + b);
    }
  return looks;
}

int hash_distance(uint64_t a, uint64_t b) { return std::popcount(a ^ b); }

std::string photo_flaw(const PhotoCandidate& p) {
  if (p.dark >= NEARLY_BLACK_SHARE) return "nearly black";
  if (p.detail < NO_DETAIL_BELOW) return "without detail";
  if (p.sharpness < BLURRED_BELOW) return "blurred";
  return {};
}

double taken_seconds(const std::string& taken) {
  if (taken.size() < 19) return -1;
  auto number = [&](size_t at, size_t digits) {
    int v = 0;
    for (size_t i = at; i < at + digits; ++i) v = v * 10 + (taken[i] - '0');
    return v;
  };
  // Days from the civil date (proleptic Gregorian), then the time of day.
  int y = number(0, 4);
  const int m = number(5, 2), d = number(8, 2);
  y -= m <= 2;
  const int era = y / 400, yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long days = era * 146097L + yoe * 365L + yoe / 4 - yoe / 100 + doy;
  return days * 86400.0 + number(11, 2) * 3600.0 + number(14, 2) * 60.0 + number(17, 2);
}

namespace {

// Pictures this close in their two hashes (of 128 bits) are one picture, resized or compressed
// again.
constexpr int SAME_PICTURE = 10;
// Shots of a burst: close in hash, and taken within seconds of each other; without capture times,
// one right after the other and closer still.
constexpr int SAME_BURST = 22, SAME_BURST_UNTIMED = 14;
constexpr double BURST_SECONDS = 10;
// Pictures that differ this much in brightness are not one (two blank pages hash alike, a black
// and a white one too).
constexpr float SAME_BRIGHTNESS = 12;

bool alike(const PhotoCandidate& a, const PhotoCandidate& b) {
  const double ra = static_cast<double>(a.width) / a.height, rb = static_cast<double>(b.width) / b.height;
  return std::abs(ra / rb - 1) < 0.03 && std::abs(a.luma - b.luma) <= SAME_BRIGHTNESS;
}

}  // namespace

Duplicates find_duplicates(std::vector<PhotoCandidate>& photos) {
  const int n = static_cast<int>(photos.size());
  std::vector<int> group(n);
  std::vector<int> leaders;                // the first photo of each group, in order
  std::vector<int> latest(n, -1);          // by leader: the group's last photo so far
  for (int i = 0; i < n; ++i) {
    group[i] = i;
    const double ti = taken_seconds(photos[i].taken);
    for (int leader : leaders) {
      for (int j : {leader, latest[leader]}) {
        if (!alike(photos[i], photos[j])) continue;
        const int d = hash_distance(photos[i].hash, photos[j].hash) + hash_distance(photos[i].vertical_hash, photos[j].vertical_hash);
        const double tj = taken_seconds(photos[j].taken);
        const bool timed = ti >= 0 && tj >= 0;
        const bool burst = timed ? d <= SAME_BURST && std::abs(ti - tj) <= BURST_SECONDS : d <= SAME_BURST_UNTIMED && j == i - 1;
        if (d <= SAME_PICTURE || burst) {
          group[i] = leader;
          break;
        }
      }
      if (group[i] != i) break;
    }
    if (group[i] == i) leaders.push_back(i);
    latest[group[i]] = i;
  }
  // Of each group the best stays, at the place of the first: one without a flaw, then the largest
  // (the same picture in two sizes), then the sharpest (the shots of a burst), then the first.
  Duplicates out;
  out.same_as.assign(n, -1);
  for (int leader : leaders) {
    int best = leader;
    for (int i = leader; i < n; ++i) {
      if (group[i] != leader) continue;
      const auto key = [&](int k) {
        return std::make_tuple(photo_flaw(photos[k]).empty(), static_cast<double>(photos[k].width) * photos[k].height,
                               photos[k].sharpness, -k);
      };
      if (key(i) > key(best)) best = i;
    }
    // The best takes the first's place; every other shot of the group repeats it.
    if (best != leader) std::swap(photos[best], photos[leader]);
    for (int i = leader + 1; i < n; ++i)
      if (group[i] == leader) out.same_as[i] = leader;
  }
  return out;
}
