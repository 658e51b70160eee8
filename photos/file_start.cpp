#include "photos/file_start.h"

#include <algorithm>

#include "png/regular_file.h"

std::vector<uint8_t> read_file_start(const std::string& path, size_t max_bytes) {
  std::vector<uint8_t> bytes;
  const RegularFile file(path);
  if (!file.is_open()) return bytes;
  bytes.resize(size_t(std::min<uint64_t>(max_bytes, file.size())));
  bytes.resize(file.read_at(0, bytes.data(), bytes.size()));  // the file shrank: what was read stands
  return bytes;
}
