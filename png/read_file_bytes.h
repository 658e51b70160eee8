#pragma once
// A whole file in memory.
#include <cstdint>
#include <string>
#include <vector>

// The whole content of a file; empty when it cannot be opened or is empty.
std::vector<uint8_t> read_file_bytes(const std::string& path);
