#pragma once
// A photo's width and height from its header alone, before any decoder has it: PNG's IHDR, a
// JPEG's frame header, a GIF's screen and first image, a BMP's info header. The loaders
// refuse a photo that would decode larger than PHOTO_DECODED_LIMIT from this, since a forged or
// enormous header otherwise has the codecs ask for gigabytes.
#include <cstdint>
#include <span>
#include <string>

#include "photos/image_format.h"
#include "png/result_codes.h"

struct ImageSize {
  ImageFormat format = ImageFormat::Unknown;
  uint32_t width = 0, height = 0;  // 0 × 0 when the header does not tell
  // As stored: PNG's channels × bit depth, a JPEG's components × 8, a BMP's bit count; 0 unknown.
  uint32_t bits_per_pixel = 0;
  bool png_interlaced = false;
};

// The most a photo may take decoded as RGBA: the same limit our PNG decoder sets any one buffer.
inline constexpr uint64_t PHOTO_DECODED_LIMIT = PNG_MAX_BUFFER_BYTES;

// From the bytes of a whole file (or as much of its start as there is).
ImageSize image_size(std::span<const uint8_t> bytes);
// From a file on disk, reading only as far as the header; 0 × 0 for anything but a regular file.
ImageSize image_size_of_file(const std::string& path);

// width × height × 4, saturating.
uint64_t rgba_bytes(uint64_t width, uint64_t height);
// True when the header tells a size whose RGBA pixels pass PHOTO_DECODED_LIMIT.
bool too_large_to_decode(const ImageSize& size);
