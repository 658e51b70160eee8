// Writes the seed corpus of track_file_fuzz into a folder: sound track files as kesto writes
// them (every interpolation, keys at the edges of a row and of a float, a single key, none) and
// the damaged kinds the reader must survive (cut short, a negative or huge count, keys out of
// order, on one row, with unknown interpolation codes).
// Usage: track_file_fuzz_seeds FOLDER
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "sync/track_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: track_file_fuzz_seeds FOLDER\n");
    return 2;
  }
  constexpr int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  constexpr float big = std::numeric_limits<float>::max(), tiny = std::numeric_limits<float>::denorm_min();
  const std::vector<std::vector<TrackKey>> tracks = {
      {},
      {{0, 1.0f, Step}},
      {{10, 0.0f, Linear}, {20, 1.0f, Smooth}, {40, -2.5f, Ramp}, {80, 3.0f, Step}, {100, 0.0f, Linear}},
      {{lo, -big, Linear}, {0, tiny, Smooth}, {hi, big, Ramp}},
      {{-5, 1.0f, Linear}, {-5, 2.0f, Linear}, {7, 3.0f, Smooth}},  // two keys on one row
      {{30, 1.0f, Linear}, {10, 2.0f, Ramp}, {20, 3.0f, Smooth}},   // out of order
      {{0, 1.0f, -1}, {5, 2.0f, 4}, {9, 3.0f, 127}},                // unknown interpolation codes
  };
  std::vector<std::string> files;
  for (const auto& keys : tracks) files.push_back(encode_track_file(keys));
  const std::string whole = files[2];
  files.push_back(whole.substr(0, whole.size() - 4));  // the last key cut short
  files.push_back(whole.substr(0, 2));                 // not even a count
  files.push_back(std::string("\xff\xff\xff\xff", 4) + whole.substr(4));  // a negative count
  files.push_back(std::string("\xff\xff\xff\x7f", 4) + whole.substr(4));  // a count no file can fill
  files.push_back(whole + "trailing bytes");
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string path = std::string(argv[1]) + "/seed_" + std::to_string(i) + ".kesto";
    std::ofstream out(path, std::ios::binary);
    out.write(files[i].data(), std::streamsize(files[i].size()));
    if (!out) {
      std::fprintf(stderr, "track_file_fuzz_seeds: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
