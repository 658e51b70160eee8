#pragma once
// A photo file as the loaders read it: a regular file only (see png/regular_file.h), of a format
// they read (photos/image_format.h), and only up to PHOTO_FILE_LIMIT bytes, which no photo the
// loaders take is near. Any other file is refused after its first bytes at most: a larger one could
// only be damaged or hostile, and reading it would cost its whole size.
#include <cstdint>
#include <string>
#include <vector>

#include "photos/image_size.h"

inline constexpr uint64_t PHOTO_FILE_LIMIT = PHOTO_DECODED_LIMIT;

// The file's bytes; empty when it is missing, empty, no regular file, larger than the limit or of
// no format the loaders read.
std::vector<uint8_t> read_photo_file(const std::string& path);
