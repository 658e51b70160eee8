// place_lookup [CITIES]: how long GeoNames' towns take to load into the k-d tree, and to name
// 10,000 positions (each a few kilometres from a town drawn at random, as photos are), in CPU
// time, against a peer in the same run: the nearest town found by trying every one (for a hundred
// positions, it is that slow). Figures only; the machine's load goes beside them.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/make/places/cities_file.h"
#include "tools/make/places/place_finder.h"
#include "tools/make/seeded_random.h"

namespace {

// CPU time of this thread, in ms: on a machine shared with other work the wall clock says more
// about the others than about this.
double cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
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
    const double start = cpu_ms();
    CityList cities;
    std::string error;
    if (!read_cities(file, cities, error)) {
      std::fprintf(stderr, "place_lookup: %s: %s\n", file.c_str(), error.c_str());
      return 1;
    }
    const double read_ms = cpu_ms() - start;
    const CityList copy = cities;  // the peer's
    const PlaceFinder finder(std::move(cities));
    const double load_ms = cpu_ms() - start;
    SeededRandom random(round + 1);
    std::vector<std::pair<double, double>> positions;
    for (int i = 0; i < 10000; ++i) {
      const City& c = copy.cities[random.below(static_cast<int>(copy.cities.size()))];
      positions.push_back({c.latitude + (random.below(2001) - 1000.0) * 5e-5, c.longitude + (random.below(2001) - 1000.0) * 5e-5});
    }
    double t = cpu_ms();
    int named = 0;
    for (const auto& [la, lo] : positions) named += finder.find(la, lo).has_value();
    const double find_ms = cpu_ms() - t;
    // The peer: the nearest town by distance to every one, for the first hundred positions.
    t = cpu_ms();
    double sum = 0;
    for (int i = 0; i < 100; ++i) {
      double best = 1e9;
      for (const City& c : copy.cities) best = std::min(best, distance_km(positions[i].first, positions[i].second, c.latitude, c.longitude));
      sum += best;
    }
    const double brute_ms = (cpu_ms() - t) * 100;
    std::printf("round %d: %zu towns read in %.1f ms, tree built by %.1f ms; 10000 positions named in %.1f ms (%d named); "
                "every town tried: %.0f ms for 10000 (mean nearest %.1f km); CPU time; load %s\n",
                round + 1, copy.cities.size(), read_ms, load_ms, find_ms, named, brute_ms, sum / 100, load_average().c_str());
  }
  return 0;
}
