// How many bytes a photo will take once decoded, from the few bytes of its header that give its
// size: PNG's IHDR, a JPEG's frame header. The picture path's size does not depend on the picture
// at all, only on whether it has one.
#include <algorithm>

#include "photos/image_size.h"
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
