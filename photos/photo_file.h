#pragma once
// A photo file as the loaders read it: a regular file only (see png/regular_file.h), and only up
// to PHOTO_FILE_LIMIT bytes, which no photo the loaders take is near. A larger file is refused
// unread: it could only be a damaged or hostile one, and reading it would cost its whole size.
#include <cstdint>
#include <string>
#include <vector>

#include "photos/image_size.h"

inline constexpr uint64_t PHOTO_FILE_LIMIT = PHOTO_DECODED_LIMIT;

// The file's bytes; empty when it is missing, empty, no regular file or larger than the limit.
std::vector<uint8_t> read_photo_file(const std::string& path);
