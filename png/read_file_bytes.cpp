// The whole content of a file, read as raw bytes in one go.
#include <filesystem>
#include <fstream>

#include "png/read_file_bytes.h"

// Only regular files are read: a directory or a device can report an end position that is
// no size at all (a directory on ext4 seeks to 2^63 - 1), which would be allocated in full.
// A file that shrinks while it is read gives the bytes that were there, not zero padding.
std::vector<uint8_t> read_file_bytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return bytes;
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return bytes;
  const std::streamoff end = file.tellg();
  file.seekg(0, std::ios::beg);
  const std::streamoff start = file.tellg();
  if (end < 0 || start < 0 || end - start <= 0) return bytes;
  bytes.resize(static_cast<size_t>(end - start));
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(file.gcount()));
  return bytes;
}
