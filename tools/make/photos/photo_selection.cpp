#include "tools/make/photos/photo_selection.h"

#include <algorithm>

PhotoSelection select_photos(int count, int room, const std::vector<bool>& poor) {
  PhotoSelection s;
  room = std::max(1, room);
  if (count <= room) {
    for (int p = 0; p < count; ++p) s.shown.push_back(p);
    return s;
  }
  std::vector<bool> taken(count, false);
  if (room == 1) {
    taken[0] = true;
  } else {
    // k × (count − 1) / (room − 1), rounded: 0 and count − 1 at the ends, distinct in between
    // since the step is above 1.
    for (int k = 0; k < room; ++k)
      taken[static_cast<int>((static_cast<long long>(k) * (count - 1) * 2 + (room - 1)) / (2LL * (room - 1)))] = true;
  }
  // A poor photo in the spread gives way to the nearest good one not taken, no further than
  // halfway to the next taken photo on either side, so that the spread stays even.
  auto is_poor = [&](int p) { return p < static_cast<int>(poor.size()) && poor[p]; };
  std::vector<int> chosen;
  for (int p = 0; p < count; ++p)
    if (taken[p]) chosen.push_back(p);
  for (size_t k = 1; k + 1 < chosen.size(); ++k) {
    const int p = chosen[k];
    if (!is_poor(p)) continue;
    const int reach = std::min(p - chosen[k - 1], chosen[k + 1] - p) / 2;
    for (int d = 1; d <= reach; ++d) {
      const int q = !taken[p - d] && !is_poor(p - d) ? p - d : !taken[p + d] && !is_poor(p + d) ? p + d : -1;
      if (q < 0) continue;
      taken[p] = false, taken[q] = true, chosen[k] = q;
      break;
    }
  }
  for (int p = 0; p < count; ++p) (taken[p] ? s.shown : s.unused).push_back(p);
  return s;
}
