// How many bytes a photo will take once decoded, from the few bytes of its header that give its
// size: PNG's IHDR, a JPEG's frame header. The picture path's size does not depend on the picture
// at all, only on whether it has one.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "photos/image_size.h"
#include "photos/photo_file.h"
#include "photos/texture_loaders.h"

namespace {

size_t saturated(uint64_t bytes) { return bytes > SIZE_MAX ? SIZE_MAX : size_t(bytes); }

}  // namespace

size_t file_texture_bytes(const std::string& path) {
  const ImageSize h = image_size_of_file(path);
  return saturated(rgba_bytes(h.width, h.height));
}

size_t picture_image_bytes(const std::string& path, int square_side) {
  const ImageSize h = image_size_of_file(path);
  const uint32_t side = uint32_t(std::max(square_side, 0));
  if (is_picture_format(h.format)) return saturated(rgba_bytes(side, side));
  if (h.format != ImageFormat::Png || h.width == 0 || h.height == 0) return 0;
  const uint32_t w2 = next_power_of_two(h.width), h2 = next_power_of_two(h.height);
  if (w2 == 0 || h2 == 0) return SIZE_MAX;  // beyond any power of two: the fallback would not take it
  return saturated(rgba_bytes(w2, h2));
}

// ---- peaks ----
// What a decode holds at its most, step by step as the loaders go (photos/file_texture.cpp,
// photos/picture_image.cpp, photos/png_fallback.cpp):
//   file loader, codecs:   the file, the codec's surface, its RGBA copy, the bottom-first copy
//   file loader, PNG:      the file, the inflated rows, the RGBA pixels, the bottom-first copy
//   picture, loading:      the file, the codec's surface, its RGBA copy (the picture kept)
//   picture, drawing:      the picture, the square, a stretched copy of the picture's size
//   PNG fallback:          the file, the inflated rows, the RGBA pixels, the stretched texture

namespace {

// What the codec libraries work with besides the images (their row buffers, tables, a stretch's
// steps), measured well under this on photos of every format.
constexpr uint64_t CODEC_WORKING_BYTES = uint64_t(4) << 20;

// The file as it is held: read whole into a buffer of its size (photos/photo_file.h), unless the
// loaders refuse it unread (too large, or of a format they do not read).
uint64_t file_bytes(const std::string& path, const ImageSize& s) {
  std::error_code ec;
  const uintmax_t n = std::filesystem::file_size(path, ec);
  return ec || s.format == ImageFormat::Unknown || n > PHOTO_FILE_LIMIT ? 0 : uint64_t(n);
}

// Bytes a pixel of the codec's surface takes: palette indexes (GIF, BMP of 8 bits or fewer), RGB
// (a JPEG of three components, a 24-bit BMP) or four bytes (CMYK, RGBA, and whatever else).
uint64_t surface_bytes_per_pixel(const ImageSize& s) {
  if (s.format == ImageFormat::Gif) return 1;
  if (s.format == ImageFormat::Bmp && s.bits_per_pixel != 0 && s.bits_per_pixel <= 8) return 1;
  if (s.bits_per_pixel == 24) return 3;
  return 4;
}

// Our PNG decoder's inflated rows: a filter byte and the packed samples per row. Interlaced, the
// passes have about twice as many (shorter) rows, each with its filter byte and a partial byte.
uint64_t png_raw_bytes(const ImageSize& s) {
  const uint64_t bits = s.bits_per_pixel != 0 ? s.bits_per_pixel : 64;
  uint64_t raw = uint64_t(s.height) * (1 + (uint64_t(s.width) * bits + 7) / 8);
  if (s.png_interlaced) raw += 4 * uint64_t(s.height) + 16;
  return raw;
}

}  // namespace

size_t file_texture_peak_bytes(const std::string& path) {
  const ImageSize s = image_size_of_file(path);
  const uint64_t file = file_bytes(path, s);
  if (s.width == 0 || s.height == 0 || too_large_to_decode(s)) return saturated(file);  // read, then refused
  const uint64_t pixels = uint64_t(s.width) * s.height, rgba = 4 * pixels;
  uint64_t peak = CODEC_WORKING_BYTES + file + surface_bytes_per_pixel(s) * pixels + 2 * rgba;
  if (s.format == ImageFormat::Png) peak = std::max(peak, CODEC_WORKING_BYTES + file + png_raw_bytes(s) + 2 * rgba);
  return saturated(peak);
}

size_t picture_image_peak_bytes(const std::string& path, int square_side) {
  const ImageSize s = image_size_of_file(path);
  const uint64_t file = file_bytes(path, s);
  const uint64_t side = uint64_t(std::max(square_side, 0)), square = side * side * 4;
  const uint64_t pixels = uint64_t(s.width) * s.height, rgba = 4 * pixels;
  if (is_picture_format(s.format)) {
    if (s.width == 0 || s.height == 0 || too_large_to_decode(s)) return saturated(file);
    const uint64_t loading = file + surface_bytes_per_pixel(s) * pixels + rgba;
    const uint64_t drawing = rgba + 2 * square;
    return saturated(CODEC_WORKING_BYTES + std::max(loading, drawing));
  }
  if (s.format != ImageFormat::Png || pixels == 0) return saturated(file);  // 0 when no file
  if (too_large_to_decode(s)) return saturated(file);
  const uint64_t w2 = next_power_of_two(s.width), h2 = next_power_of_two(s.height);
  return saturated(CODEC_WORKING_BYTES + file + png_raw_bytes(s) + rgba + w2 * h2 * 4);
}
