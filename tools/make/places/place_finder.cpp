#include "tools/make/places/place_finder.h"

#include <nanoflann.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double EARTH_KM = 6371.0;
constexpr double PI = 3.14159265358979323846;
// Places within this are weighed against each other; beyond it only the nearest counts, up to
// the second.
constexpr double NAMED_KM = 15.0, NEAREST_KM = 40.0;

std::array<float, 3> on_sphere(double latitude, double longitude) {
  const double la = latitude * PI / 180, lo = longitude * PI / 180;
  return {static_cast<float>(std::cos(la) * std::cos(lo)), static_cast<float>(std::cos(la) * std::sin(lo)),
          static_cast<float>(std::sin(la))};
}

// The squared straight-line distance through the globe (of radius 1) of `km` along it.
float chord_squared(double km) {
  const double c = 2 * std::sin(km / EARTH_KM / 2);
  return static_cast<float>(c * c);
}

double km_of_chord_squared(float c2) { return 2 * std::asin(std::min(1.0, std::sqrt(static_cast<double>(c2)) / 2)) * EARTH_KM; }

// How readily a place is named: a kilometre off costs as much as a quarter of its people; a part
// of a town counts for less than the town it is part of. A place whose size is not known is
// taken as the smallest on the list.
double weight(const City& c, double km) {
  const double people = std::max<uint32_t>(c.population, 1000);
  const double kind = c.kind == PlaceKind::Quarter ? 0.25 : 1.0;
  return kind * people / ((km + 2) * (km + 2));
}

}  // namespace

struct PlaceFinder::Tree {
  std::vector<std::array<float, 3>> points;
  size_t kdtree_get_point_count() const { return points.size(); }
  float kdtree_get_pt(size_t i, size_t d) const { return points[i][d]; }
  template <class Box>
  bool kdtree_get_bbox(Box&) const {
    return false;
  }
  using Index = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<float, Tree>, Tree, 3, uint32_t>;
  std::unique_ptr<Index> index;
};

double distance_km(double la1, double lo1, double la2, double lo2) {
  const std::array<float, 3> a = on_sphere(la1, lo1), b = on_sphere(la2, lo2);
  float c2 = 0;
  for (int d = 0; d < 3; ++d) c2 += (a[d] - b[d]) * (a[d] - b[d]);
  return km_of_chord_squared(c2);
}

PlaceFinder::PlaceFinder(CityList cities) : cities_(std::move(cities)), tree_(std::make_unique<Tree>()) {
  tree_->points.reserve(cities_.cities.size());
  for (const City& c : cities_.cities) tree_->points.push_back(on_sphere(c.latitude, c.longitude));
  tree_->index = std::make_unique<Tree::Index>(3, *tree_, nanoflann::KDTreeSingleIndexAdaptorParams(16));
  tree_->index->buildIndex();
}

PlaceFinder::~PlaceFinder() = default;

std::optional<int> PlaceFinder::find(double latitude, double longitude) const {
  if (!(std::abs(latitude) <= 90 && std::abs(longitude) <= 180) || tree_->points.empty()) return std::nullopt;
  const std::array<float, 3> q = on_sphere(latitude, longitude);
  std::vector<std::pair<uint32_t, float>> near;
  tree_->index->radiusSearch(q.data(), chord_squared(NAMED_KM), near, nanoflann::SearchParams(32, 0, false));
  int best = -1;
  double best_weight = 0;
  for (const auto& [i, c2] : near) {
    const City& c = cities_.cities[i];
    if (c.kind == PlaceKind::Gone) continue;
    const double w = weight(c, km_of_chord_squared(c2));
    // Ties go to the earlier place in the file, so that the answer never depends on the tree.
    if (w > best_weight || (w == best_weight && static_cast<int>(i) < best)) best = static_cast<int>(i), best_weight = w;
  }
  if (best >= 0) return best;
  // Nothing within reach to weigh: the nearest place that still is one, not too far.
  for (size_t k : {size_t(4), size_t(32)}) {
    std::vector<uint32_t> index(k);
    std::vector<float> d2(k);
    const size_t found = tree_->index->knnSearch(q.data(), k, index.data(), d2.data());
    for (size_t j = 0; j < found; ++j) {
      if (km_of_chord_squared(d2[j]) > NEAREST_KM) return std::nullopt;
      if (cities_.cities[index[j]].kind != PlaceKind::Gone) return static_cast<int>(index[j]);
    }
    if (found < k) return std::nullopt;
  }
  return std::nullopt;
}
