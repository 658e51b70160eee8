#include "tools/make/photos/photo_position.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace {

// "38/1 47/1 3060/100 (…)": degrees, minutes and seconds as rationals, before libvips' comment.
std::optional<double> exif_degrees(const std::string& field) {
  const std::string values = field.substr(0, field.find('('));
  std::vector<double> parts;
  const char* p = values.data();
  const char* end = p + values.size();
  while (p < end && parts.size() < 3) {
    while (p < end && *p == ' ') ++p;
    if (p == end) break;
    uint64_t num = 0, den = 0;
    auto [q, ec] = std::from_chars(p, end, num);
    if (ec != std::errc() || q == end || *q != '/') return std::nullopt;
    auto [r, ec2] = std::from_chars(q + 1, end, den);
    if (ec2 != std::errc() || den == 0) return std::nullopt;
    parts.push_back(static_cast<double>(num) / static_cast<double>(den));
    p = r;
  }
  if (parts.empty()) return std::nullopt;
  double d = parts[0];
  if (parts.size() > 1) d += parts[1] / 60;
  if (parts.size() > 2) d += parts[2] / 3600;
  return d;
}

// The reference's first letter: N, S, E or W.
int sign_of(const std::string& ref, char positive, char negative) {
  const size_t at = ref.find_first_not_of(' ');
  if (at == std::string::npos) return 0;
  const char c = static_cast<char>(ref[at] & ~0x20);
  return c == positive ? 1 : c == negative ? -1 : 0;
}

// "38,47.51N" or "38,47,30.6N".
std::optional<double> xmp_degrees(std::string_view v, char positive, char negative) {
  while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
  if (v.size() < 2) return std::nullopt;
  const char ref = static_cast<char>(v.back() & ~0x20);
  const int sign = ref == positive ? 1 : ref == negative ? -1 : 0;
  if (sign == 0) return std::nullopt;
  v.remove_suffix(1);
  double parts[3] = {0, 0, 0};
  int n = 0;
  const char* p = v.data();
  const char* end = p + v.size();
  while (p < end && n < 3) {
    auto [q, ec] = std::from_chars(p, end, parts[n], std::chars_format::fixed);
    if (ec != std::errc() || !std::isfinite(parts[n]) || parts[n] < 0) return std::nullopt;
    ++n;
    p = q;
    if (p < end && *p != ',') return std::nullopt;
    if (p < end) ++p;
  }
  if (n < 2 || p != end) return std::nullopt;
  return sign * (parts[0] + parts[1] / 60 + parts[2] / 3600);
}

// The value of exif:NAME, as <exif:NAME>value</exif:NAME> or exif:NAME="value".
std::string_view xmp_value(std::string_view xmp, std::string_view name) {
  const std::string tag = "exif:" + std::string(name);
  for (size_t at = xmp.find(tag); at != std::string_view::npos; at = xmp.find(tag, at + 1)) {
    size_t p = at + tag.size();
    if (p < xmp.size() && (xmp[p] == '>' || xmp[p] == '=')) {
      const bool attribute = xmp[p] == '=';
      ++p;
      if (attribute) {
        if (p >= xmp.size() || (xmp[p] != '"' && xmp[p] != '\'')) continue;
        const char quote = xmp[p++];
        const size_t close = xmp.find(quote, p);
        if (close != std::string_view::npos) return xmp.substr(p, close - p);
      } else {
        const size_t close = xmp.find('<', p);
        if (close != std::string_view::npos) return xmp.substr(p, close - p);
      }
    }
  }
  return {};
}

}  // namespace

bool usable_position(double latitude, double longitude) {
  return std::isfinite(latitude) && std::isfinite(longitude) && std::abs(latitude) <= 90 && std::abs(longitude) <= 180 &&
         !(latitude == 0 && longitude == 0);
}

std::optional<GeoPosition> exif_position(const std::string& latitude, const std::string& latitude_ref,
                                         const std::string& longitude, const std::string& longitude_ref) {
  const std::optional<double> la = exif_degrees(latitude), lo = exif_degrees(longitude);
  const int ns = sign_of(latitude_ref, 'N', 'S'), ew = sign_of(longitude_ref, 'E', 'W');
  if (!la || !lo || ns == 0 || ew == 0 || !usable_position(ns * *la, ew * *lo)) return std::nullopt;
  return GeoPosition{ns * *la, ew * *lo};
}

std::optional<GeoPosition> xmp_position(std::string_view xmp) {
  const std::optional<double> la = xmp_degrees(xmp_value(xmp, "GPSLatitude"), 'N', 'S');
  const std::optional<double> lo = xmp_degrees(xmp_value(xmp, "GPSLongitude"), 'E', 'W');
  if (!la || !lo || !usable_position(*la, *lo)) return std::nullopt;
  return GeoPosition{*la, *lo};
}
