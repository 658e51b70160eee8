#pragma once
// An open entry's file to the texture it is drawn with: a JPEG or PNG decoded no larger than it
// is needed (libjpeg's DCT scaling does most of the shrinking for a JPEG), shrunk by area to its
// size, turned upright by its EXIF orientation, bottom row first, with its mipmap levels. Any thread.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "photos/open_photo_header.h"
#include "photos/open_photo_size.h"

struct OpenPhotoImage {
  PixelSize size;                            // level 0, upright
  std::vector<std::vector<uint8_t>> levels;  // RGBA, bottom row first; empty when nothing decoded
  bool empty() const { return levels.empty(); }
  uint64_t bytes() const;
};

// The texture size the decode gives for `header` and a long side of at most `long_side`.
PixelSize open_photo_decoded_size(const OpenPhotoHeader& header, uint32_t long_side);

// At least the most memory the decode holds at once: the file, the scaled decode and the result.
uint64_t open_photo_decode_peak_bytes(const OpenPhotoHeader& header, uint32_t long_side, uint64_t file_bytes);

// Empty when the file is missing, no regular file, neither a JPEG nor a PNG by content, too large
// by its header, or does not decode. A JPEG cut short shows what decoded, as every JPEG does.
OpenPhotoImage decode_open_photo(const std::string& path, uint32_t long_side);
OpenPhotoImage decode_open_photo_bytes(std::span<const uint8_t> bytes, uint32_t long_side);
