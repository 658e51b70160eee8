#include "tools/make/places/cities_file.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// Fields of a place's message.
enum Field { NAME = 2, COUNTRY = 3, FEATURE = 7, POPULATION = 9, LONGITUDE = 10, LATITUDE = 11 };

class Reader {
 public:
  Reader(std::string_view bytes) : p_(bytes.data()), end_(bytes.data() + bytes.size()) {}
  bool done() const { return p_ >= end_; }
  size_t left() const { return static_cast<size_t>(end_ - p_); }
  bool varint(uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64 && p_ < end_; shift += 7) {
      const uint8_t b = static_cast<uint8_t>(*p_++);
      v |= uint64_t(b & 0x7F) << shift;
      if (b < 0x80) return true;
    }
    return false;
  }
  bool bytes(std::string_view& out) {
    uint64_t n = 0;
    if (!varint(n) || n > left()) return false;
    out = std::string_view(p_, n);
    p_ += n;
    return true;
  }

 private:
  const char* p_;
  const char* end_;
};

int64_t unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

PlaceKind kind_of(std::string_view code) {
  // PPLA…PPLA4 seats of regions, PPLC a capital, PPLG a seat of government; PPLX a section of a
  // populated place; PPLH historical, PPLQ abandoned, PPLW destroyed, PPLCH a former capital.
  if (code == "PPLX") return PlaceKind::Quarter;
  if (code == "PPLH" || code == "PPLQ" || code == "PPLW" || code == "PPLCH") return PlaceKind::Gone;
  if (code.starts_with("PPLA") || code == "PPLC" || code == "PPLG") return PlaceKind::Seat;
  return PlaceKind::Town;
}

}  // namespace

bool parse_cities(std::string_view bytes, CityList& out, std::string& error) {
  out = CityList{};
  Reader file(bytes);
  int64_t lat = 0, lon = 0;  // the running sums of the steps
  while (!file.done()) {
    std::string_view message;
    if (!file.bytes(message)) {
      error = "place " + std::to_string(out.cities.size() + 1) + " runs past the end of the file";
      return false;
    }
    Reader m(message);
    City c;
    while (!m.done()) {
      uint64_t key = 0, v = 0;
      if (!m.varint(key)) break;
      const uint64_t field = key >> 3, type = key & 7;
      std::string_view s;
      if (type == 2) {
        if (!m.bytes(s)) break;
        if (field == NAME && s.size() < 65536) {
          c.name_at = static_cast<uint32_t>(out.names.size());
          c.name_size = static_cast<uint16_t>(s.size());
          out.names.append(s);
        } else if (field == COUNTRY && !s.empty() && s.size() <= 2) {
          c.country[0] = s[0];
          c.country[1] = s.size() > 1 ? s[1] : 0;
        } else if (field == FEATURE) {
          c.kind = kind_of(s);
        }
      } else if (type == 0) {
        if (!m.varint(v)) break;
        if (field == POPULATION) c.population = static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX));
        if (field == LONGITUDE) lon += unzigzag(v);
        if (field == LATITUDE) lat += unzigzag(v);
      } else {
        error = "place " + std::to_string(out.cities.size() + 1) + " has a field of an unknown type";
        return false;
      }
    }
    if (!m.done()) {
      error = "place " + std::to_string(out.cities.size() + 1) + " is cut short";
      return false;
    }
    c.latitude = static_cast<float>(lat / 1e5);
    c.longitude = static_cast<float>(lon / 1e5);
    if (std::abs(c.latitude) > 90 || std::abs(c.longitude) > 180) {
      error = "place " + std::to_string(out.cities.size() + 1) + " lies off the globe";
      return false;
    }
    out.cities.push_back(c);
  }
  if (out.cities.empty()) {
    error = "holds no places";
    return false;
  }
  return true;
}

bool read_cities(const std::string& path, CityList& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot be read";
    return false;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return parse_cities(bytes.str(), out, error);
}

std::string find_cities_file() {
  namespace fs = std::filesystem;
  if (const char* given = std::getenv("HALLSHOW_CITIES")) return fs::is_regular_file(given) ? given : "";
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  std::vector<fs::path> places;
  if (!ec) places.push_back(self.parent_path().parent_path() / "share/hallshow/cities.pbf");
  places.push_back("/usr/local/share/hallshow/cities.pbf");
  for (const fs::path& p : places)
    if (fs::is_regular_file(p, ec)) return p.string();
  return "";
}
