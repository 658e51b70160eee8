#include "tools/make/photo_selection.h"

#include <algorithm>

PhotoSelection select_photos(int count, int room) {
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
  for (int p = 0; p < count; ++p) (taken[p] ? s.shown : s.unused).push_back(p);
  return s;
}
