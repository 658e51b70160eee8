#include "photos/image_format.h"

#include <algorithm>
#include <array>

namespace {

struct Magic {
  ImageFormat format;
  std::array<uint8_t, 8> bytes;
  size_t length;
};

// Signatures as the formats fix them. JPEG is the SOI marker followed by the start of any
// marker (FF), GIF either version string, BMP the Windows "BM" header (the only BMP kind that
// the picture loader's codecs ever read), PNG its eight-byte signature.
constexpr Magic MAGICS[] = {
    {ImageFormat::Jpeg, {0xFF, 0xD8, 0xFF}, 3},
    {ImageFormat::Gif, {'G', 'I', 'F', '8', '7', 'a'}, 6},
    {ImageFormat::Gif, {'G', 'I', 'F', '8', '9', 'a'}, 6},
    {ImageFormat::Bmp, {'B', 'M'}, 2},
    {ImageFormat::Png, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, 8},
};

}  // namespace

ImageFormat sniff_image_format(std::span<const uint8_t> bytes) {
  for (const Magic& m : MAGICS) {
    if (bytes.size() >= m.length && std::equal(m.bytes.begin(), m.bytes.begin() + m.length, bytes.begin())) {
      return m.format;
    }
  }
  return ImageFormat::Unknown;
}

bool is_picture_format(ImageFormat format) {
  return format == ImageFormat::Jpeg || format == ImageFormat::Gif || format == ImageFormat::Bmp;
}
