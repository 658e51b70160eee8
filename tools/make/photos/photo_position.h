#pragma once
// Where a photo was taken, from its EXIF GPS fields as libvips prints them, or from its XMP
// packet. A position that cannot be true is no position: off the globe, or at (0, 0), which a
// receiver without a fix writes.
#include <optional>
#include <string>
#include <string_view>

struct GeoPosition {
  double latitude = 0, longitude = 0;  // degrees, north and east positive
};

bool usable_position(double latitude, double longitude);

// From "exif-ifd3-GPSLatitude" ("38/1 47/1 3060/100 (38, 47, 30.60, Rational, …)") and its
// reference ("N (N, ASCII, …)"), and the same for the longitude.
std::optional<GeoPosition> exif_position(const std::string& latitude, const std::string& latitude_ref,
                                         const std::string& longitude, const std::string& longitude_ref);

// From an XMP packet's exif:GPSLatitude and exif:GPSLongitude ("38,47.51N", "9,22,48W"), as
// elements or as attributes.
std::optional<GeoPosition> xmp_position(std::string_view xmp);
