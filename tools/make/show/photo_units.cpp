#include "tools/make/show/photo_units.h"

std::vector<PhotoUnit> group_photos(const std::vector<double>& aspects, const std::vector<bool>& fill,
                                    const std::vector<bool>& alone, const std::vector<bool>& lone) {
  const int n = static_cast<int>(aspects.size());
  auto flag = [](const std::vector<bool>& v, int i, bool otherwise) { return i < static_cast<int>(v.size()) ? v[i] : otherwise; };
  auto single = [&](int i) { return i < n && flag(alone, i, false); };
  auto can_fill = [&](int i) { return flag(fill, i, true); };
  auto narrow = [&](int i) {
    return i < n && !single(i) && (aspects[i] < LANDSCAPE_ASPECT || (!can_fill(i) && aspects[i] < PANORAMA_ASPECT));
  };
  auto landscape = [&](int i) {
    return i < n && !single(i) && aspects[i] >= LANDSCAPE_ASPECT && aspects[i] < PANORAMA_ASPECT && can_fill(i);
  };
  // Whether photo i may share a unit at all.
  auto pairs = [&](int i) { return i < n && !flag(lone, i, false); };
  std::vector<PhotoUnit> units;
  for (int i = 0; i < n;) {
    if (single(i)) {
      units.push_back({aspects[i] >= PANORAMA_ASPECT ? UnitKind::Band : UnitKind::Solo, i, -1});
      i += 1;
    } else if (narrow(i)) {
      // A portrait takes the next photo as its partner when that is a portrait or a landscape.
      if (pairs(i) && pairs(i + 1) && (narrow(i + 1) || landscape(i + 1))) {
        units.push_back({UnitKind::Pair, i, i + 1});
        i += 2;
      } else {
        units.push_back({UnitKind::Solo, i, -1});
        i += 1;
      }
    } else if (landscape(i)) {
      // A landscape with a portrait after it that no other portrait would partner.
      if (pairs(i) && pairs(i + 1) && narrow(i + 1) && !(narrow(i + 2) && pairs(i + 2))) {
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
