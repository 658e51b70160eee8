#pragma once
// The whole of a file as bytes in a string; empty when it cannot be read (the test's comparison
// then says what was expected).
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string file_contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}
