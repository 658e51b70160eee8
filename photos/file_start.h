#pragma once
// The first bytes of a file, for reading a header without the whole file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Up to `max_bytes` from the start of the regular file at `path` (links followed); empty when it
// cannot be opened or is no regular file. A FIFO or a device is never read: opening does not wait
// for a writer, and the type is checked on what was opened, not on the name.
std::vector<uint8_t> read_file_start(const std::string& path, size_t max_bytes);
