// The picture loader's fallback for files its codecs do not read: the built-in PNG decoder, the
// picture stretched by nearest neighbour onto the next power-of-two size.
#include "png/png_decode.h"
#include "photos/photo_file.h"
#include "photos/texture_loaders.h"

namespace {

// No texture side beyond this is ever accepted by a GL we run on; anything larger would only
// allocate gigabytes to be refused by glTexImage2D.
constexpr uint32_t FALLBACK_SIDE_LIMIT = 16384;

}  // namespace

uint32_t next_power_of_two(uint32_t n) {
  if (n > (uint32_t(1) << 31)) return 0;  // doubling would wrap to 0 and never stop
  uint32_t p = 1;
  while (p < n) p *= 2;
  return p;
}

TextureImage decode_png_fallback(const std::string& path) {
  const std::vector<uint8_t> bytes = read_photo_file(path);
  PngInfo info;
  std::vector<uint8_t> pixels;
  // A missing, empty or broken file: nothing to upload, and the name keeps what it had.
  if (png_decode(bytes, info, pixels) != 0) return {};
  const uint32_t w = info.width, h = info.height;
  if (w == 0 || h == 0 || pixels.size() / 4 / w != h || pixels.size() % (size_t(w) * 4) != 0) return {};
  const uint32_t w2 = next_power_of_two(w), h2 = next_power_of_two(h);
  if (w2 == 0 || h2 == 0 || w2 > FALLBACK_SIDE_LIMIT || h2 > FALLBACK_SIDE_LIMIT) return {};

  TextureImage image;
  image.kind = TextureImage::Kind::PngFallback;
  image.width = w2;
  image.height = h2;
  image.pixels.assign(size_t(w2) * h2 * 4, 0);
  resample_to_texture(image.pixels.data(), pixels.data(), w, h, w2, h2);
  return image;
}
