#pragma once
// A whole file in memory.
#include <cstdint>
#include <string>
#include <vector>

// The whole content of a regular file; empty when it cannot be opened, is empty or is no regular
// file (a FIFO, a device, a folder, or a link to one: see png/regular_file.h).
std::vector<uint8_t> read_file_bytes(const std::string& path);
// The same, and empty too when the file holds more than `max_bytes`, of which nothing is read then.
std::vector<uint8_t> read_file_bytes(const std::string& path, uint64_t max_bytes);
