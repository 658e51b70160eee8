// place_lookup [CITIES]: how long GeoNames' towns take to load into the k-d tree, and to name
// 10,000 positions (each a few kilometres from a town drawn at random, as photos are), against a
// peer in the same run: the same positions named by trying every town (a thousand of them only,
// it is that slow). Figures only; the machine's load goes beside them.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/make/places/cities_file.h"
#include "tools/make/places/place_finder.h"
#include "tools/make/seeded_random.h"

namespace {

double ms_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one;
  in >> one;
  return one;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string file = argc > 1 ? argv[1] : find_cities_file();
  if (file.empty()) {
    std::fprintf(stderr, "place_lookup: no cities file (scripts/deps.sh installs it)\n");
    return 1;
  }
  for (int round = 0; round < 3; ++round) {
    const auto start = std::chrono::steady_clock::now();
    CityList cities;
    std::string error;
    if (!read_cities(file, cities, error)) {
      std::fprintf(stderr, "place_lookup: %s: %s\n", file.c_str(), error.c_str());
      return 1;
    }
    const double read_ms = ms_since(start);
    const CityList copy = cities;  // the peer's
    const PlaceFinder finder(std::move(cities));
    const double load_ms = ms_since(start);
    SeededRandom random(round + 1);
    std::vector<std::pair<double, double>> positions;
    for (int i = 0; i < 10000; ++i) {
      const City& c = copy.cities[random.below(static_cast<int>(copy.cities.size()))];
      positions.push_back({c.latitude + (random.below(2001) - 1000.0) * 5e-5, c.longitude + (random.below(2001) - 1000.0) * 5e-5});
    }
    auto t = std::chrono::steady_clock::now();
    int named = 0;
    for (const auto& [la, lo] : positions) named += finder.find(la, lo).has_value();
    const double find_ms = ms_since(t);
    // The peer: the nearest town by distance to every one, for the first thousand positions.
    t = std::chrono::steady_clock::now();
    double sum = 0;
    for (int i = 0; i < 1000; ++i) {
      double best = 1e9;
      for (const City& c : copy.cities) best = std::min(best, distance_km(positions[i].first, positions[i].second, c.latitude, c.longitude));
      sum += best;
    }
    const double brute_ms = ms_since(t) * 10;
    std::printf("round %d: %zu towns read in %.1f ms, tree built by %.1f ms; 10000 positions named in %.1f ms (%d named); "
                "every town tried: %.0f ms for 10000 (mean nearest %.1f km); load %s\n",
                round + 1, copy.cities.size(), read_ms, load_ms, find_ms, named, brute_ms, sum / 1000, load_average().c_str());
  }
  return 0;
}
