// The whole content of a file, read as raw bytes in one go.
#include "png/read_file_bytes.h"

#include "png/regular_file.h"

// The size is the one the file had when it was opened: a file that grows meanwhile is read that
// far, and one that shrinks gives the bytes that were there, not zero padding.
std::vector<uint8_t> read_file_bytes(const std::string& path, uint64_t max_bytes) {
  std::vector<uint8_t> bytes;
  const RegularFile file(path);
  if (!file.is_open() || file.size() == 0 || file.size() > max_bytes || file.size() > SIZE_MAX) return bytes;
  bytes.resize(size_t(file.size()));
  bytes.resize(file.read_at(0, bytes.data(), bytes.size()));
  return bytes;
}

std::vector<uint8_t> read_file_bytes(const std::string& path) { return read_file_bytes(path, UINT64_MAX); }
