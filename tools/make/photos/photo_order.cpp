#include "tools/make/photos/photo_order.h"

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "tools/make/seeded_random.h"

std::string exif_time(const std::string& field) {
  // "YYYY:MM:DD HH:MM:SS": digits where digits belong; cameras write "0000:00:00 00:00:00" or
  // blanks when the clock was never set, which says nothing.
  static constexpr char PATTERN[] = "dddd:dd:dd dd:dd:dd";
  if (field.size() < 19) return {};
  for (int i = 0; i < 19; ++i) {
    const char c = field[i];
    if (PATTERN[i] == 'd' ? (c < '0' || c > '9') : c != PATTERN[i]) return {};
  }
  std::string t = field.substr(0, 19);
  if (t.starts_with("0000")) return {};
  return t;
}

void order_photos(std::vector<PhotoCandidate>& photos) {
  auto key = [](const PhotoCandidate& p) {
    return std::make_tuple(p.taken.empty(), p.taken, std::filesystem::path(p.path).filename().string(), p.path);
  };
  std::stable_sort(photos.begin(), photos.end(),
                   [&](const PhotoCandidate& a, const PhotoCandidate& b) { return key(a) < key(b); });
}

void shuffle_photos(std::vector<PhotoCandidate>& photos, uint64_t seed) {
  SeededRandom random(seed);
  for (int i = static_cast<int>(photos.size()) - 1; i > 0; --i) std::swap(photos[i], photos[random.below(i + 1)]);
}
