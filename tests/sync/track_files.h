#pragma once
// Writing track files for tests, and a scratch working directory to read them from.
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sync/sync_track.h"
#include "tests/support/temp_dir.h"

// The bytes of a track file: the count, then each key as row, value, type byte.
inline std::string track_file_bytes(int32_t count, const std::vector<TrackKey>& keys) {
  std::string out;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char(v >> (8 * i)));
  };
  put32(uint32_t(count));
  for (const TrackKey& k : keys) {
    put32(uint32_t(k.row));
    uint32_t bits;
    std::memcpy(&bits, &k.value, 4);
    put32(bits);
    out.push_back(char(int8_t(k.type)));
  }
  return out;
}

inline std::string track_file_bytes(const std::vector<TrackKey>& keys) {
  return track_file_bytes(int32_t(keys.size()), keys);
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// Runs each test in a fresh empty directory, so that relative track paths land there.
class ScratchDir : public ::testing::Test {
 protected:
  void write_track(const std::string& name, const std::string& bytes) {
    write_file(track_file_path(name), bytes);
  }
  TempDir dir_;
};
