#include "tools/make/photo_units.h"

std::vector<PhotoUnit> group_photos(const std::vector<double>& aspects) {
  const int n = static_cast<int>(aspects.size());
  auto narrow = [&](int i) { return i < n && aspects[i] < LANDSCAPE_ASPECT; };
  auto landscape = [&](int i) { return i < n && aspects[i] >= LANDSCAPE_ASPECT && aspects[i] < PANORAMA_ASPECT; };
  std::vector<PhotoUnit> units;
  for (int i = 0; i < n;) {
    if (narrow(i)) {
      // A portrait takes the next photo as its partner when that is a portrait or a landscape.
      if (narrow(i + 1) || landscape(i + 1)) {
        units.push_back({UnitKind::Pair, i, i + 1});
        i += 2;
      } else {
        units.push_back({UnitKind::Solo, i, -1});
        i += 1;
      }
    } else if (landscape(i)) {
      // A landscape with a portrait after it that no other portrait would partner.
      if (narrow(i + 1) && !narrow(i + 2)) {
        units.push_back({UnitKind::Pair, i, i + 1});
        i += 2;
      } else {
        units.push_back({UnitKind::Fill, i, -1});
        i += 1;
      }
    } else {
      units.push_back({UnitKind::Band, i, -1});
      i += 1;
    }
  }
  return units;
}
