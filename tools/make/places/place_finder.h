#pragma once
// The place a position was in, from the cities list: of the towns and cities within 15 km, the
// one a person would name (a large town a few kilometres off before a village next door, a town
// before a quarter of it), else the nearest within 40 km, else none (at sea, in the wild). A k-d
// tree (nanoflann) over points on the unit sphere, so that nearness is true distance at any
// latitude and across the date line.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/make/places/cities_file.h"

// Kilometres along the globe between two positions.
double distance_km(double latitude1, double longitude1, double latitude2, double longitude2);

class PlaceFinder {
 public:
  explicit PlaceFinder(CityList cities);
  ~PlaceFinder();
  PlaceFinder(const PlaceFinder&) = delete;
  PlaceFinder& operator=(const PlaceFinder&) = delete;

  // The index of the place in cities(), or nothing (also for a position off the globe).
  std::optional<int> find(double latitude, double longitude) const;
  const CityList& cities() const { return cities_; }

 private:
  struct Tree;
  CityList cities_;
  std::unique_ptr<Tree> tree_;
};
