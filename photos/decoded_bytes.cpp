// How many bytes a photo will take once decoded, from the few bytes of its header that give its
// size: PNG's IHDR, a JPEG's frame header. The picture path's size does not depend on the picture
// at all, only on whether it has one.
#include <algorithm>
#include <array>
#include <fstream>

#include "photos/image_format.h"
#include "photos/texture_loaders.h"

namespace {

struct Size {
  uint32_t width = 0, height = 0;  // 0 × 0 when unknown
};

uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t be32(const uint8_t* p) { return be16(p) << 16 | be16(p + 2); }

// Format notes: the signature, then IHDR as the first chunk: length 13, "IHDR", width, height.
Size png_size(const std::array<uint8_t, 24>& head) {
  if (!std::equal(head.begin() + 12, head.begin() + 16, "IHDR")) return {};
  return {be32(&head[16]), be32(&head[20])};
}

// Format notes: after SOI, segments of FF, a marker byte and (except for the standalone markers
// RSTn, TEM and SOI) a big-endian length that counts itself. The frame header, one of the SOFn
// markers, gives precision, height and width; a scan or the end before it means no frame at all.
// A height of 0 is left to a later DNL segment, which is not looked for.
Size jpeg_size(std::istream& in) {
  in.seekg(2);
  for (int segments = 0; segments < 4096; ++segments) {
    if (in.get() != 0xFF) return {};
    int marker = in.get();
    while (marker == 0xFF) marker = in.get();  // fill bytes
    if (marker == EOF || marker == 0xD9 || marker == 0xDA) return {};
    if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    uint8_t length[2];
    if (!in.read(reinterpret_cast<char*>(length), 2) || be16(length) < 2) return {};
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      uint8_t header[5];
      if (!in.read(reinterpret_cast<char*>(header), 5)) return {};
      return {be16(header + 3), be16(header + 1)};
    }
    in.seekg(be16(length) - 2, std::ios::cur);
  }
  return {};
}

struct Header {
  ImageFormat format = ImageFormat::Unknown;
  Size size;
};

Header read_header(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<uint8_t, 24> head{};
  in.read(reinterpret_cast<char*>(head.data()), head.size());
  Header h;
  h.format = sniff_image_format(std::span<const uint8_t>(head.data(), size_t(in.gcount())));
  if (h.format == ImageFormat::Png && in.gcount() == std::streamsize(head.size())) h.size = png_size(head);
  if (h.format == ImageFormat::Jpeg) {
    in.clear();
    h.size = jpeg_size(in);
  }
  return h;
}

// width × height × 4, saturating rather than wrapping for sizes no decoder would take anyway.
size_t rgba_bytes(uint64_t width, uint64_t height) {
  constexpr uint64_t most = SIZE_MAX / 4;
  if (width != 0 && height > most / width) return SIZE_MAX;
  return size_t(width * height * 4);
}

}  // namespace

size_t file_texture_bytes(const std::string& path) {
  const Header h = read_header(path);
  return rgba_bytes(h.size.width, h.size.height);
}

size_t picture_image_bytes(const std::string& path, int square_side) {
  const Header h = read_header(path);
  if (is_picture_format(h.format)) return rgba_bytes(uint32_t(std::max(square_side, 0)), uint32_t(std::max(square_side, 0)));
  if (h.format != ImageFormat::Png || h.size.width == 0 || h.size.height == 0) return 0;
  const uint32_t w2 = next_power_of_two(h.size.width), h2 = next_power_of_two(h.size.height);
  if (w2 == 0 || h2 == 0) return SIZE_MAX;  // beyond any power of two: the fallback would not take it
  return rgba_bytes(w2, h2);
}
