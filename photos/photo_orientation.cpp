// Format notes: a TIFF structure starts with its byte order ("II" little-endian, "MM" big-endian),
// the number 42 and the offset of IFD0. An IFD is a count of 12-byte entries: tag, type, count,
// and the value itself when it fits into four bytes. Orientation is type SHORT (3), count 1, its
// value in the first two bytes of the value field.
//
// A JPEG carries the structure in an APP1 segment that starts "Exif\0\0", among the segments
// before the first frame header; a PNG carries it as an eXIf chunk before IDAT.
#include "photos/photo_orientation.h"

#include <cstring>

namespace {

uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t be32(const uint8_t* p) { return be16(p) << 16 | be16(p + 2); }

class TiffReader {
 public:
  TiffReader(std::span<const uint8_t> b, bool little) : b_(b), little_(little) {}
  bool has(size_t at, size_t n) const { return at <= b_.size() && b_.size() - at >= n; }
  uint32_t u16(size_t at) const {
    const uint8_t* p = b_.data() + at;
    return little_ ? uint32_t(p[1]) << 8 | p[0] : be16(p);
  }
  uint32_t u32(size_t at) const {
    return little_ ? u16(at + 2) << 16 | u16(at) : u16(at) << 16 | u16(at + 2);
  }

 private:
  std::span<const uint8_t> b_;
  bool little_;
};

constexpr uint32_t ORIENTATION_TAG = 0x0112;
constexpr uint32_t TYPE_SHORT = 3;

uint8_t jpeg_orientation(std::span<const uint8_t> b) {
  size_t at = 2;  // past SOI
  while (at + 4 <= b.size() && b[at] == 0xFF) {
    const uint8_t marker = b[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    // The frame header or the scan comes after every segment that may hold the orientation.
    if (marker == 0xDA || (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC))
      return 1;
    const size_t length = be16(&b[at + 2]);
    if (length < 2) return 1;
    const size_t body = at + 4, body_length = length - 2;
    if (marker == 0xE1 && body_length >= 6 && body + 6 <= b.size() && std::memcmp(&b[body], "Exif\0\0", 6) == 0) {
      const size_t end = std::min(b.size(), body + body_length);
      return tiff_orientation(b.subspan(body + 6, end - body - 6));
    }
    at = body + body_length;
  }
  return 1;
}

uint8_t png_orientation(std::span<const uint8_t> b) {
  size_t at = 8;
  while (at + 8 <= b.size()) {
    const size_t length = be32(&b[at]);
    const uint8_t* type = &b[at + 4];
    if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return 1;
    if (std::memcmp(type, "eXIf", 4) == 0) {
      const size_t start = at + 8;
      return tiff_orientation(b.subspan(start, std::min(length, b.size() - start)));
    }
    if (length > b.size()) return 1;  // also keeps the sum below from wrapping
    at += 12 + length;
  }
  return 1;
}

}  // namespace

uint8_t tiff_orientation(std::span<const uint8_t> tiff) {
  if (tiff.size() < 8) return 1;
  const bool little = tiff[0] == 'I' && tiff[1] == 'I';
  if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return 1;
  const TiffReader r(tiff, little);
  if (r.u16(2) != 42) return 1;
  const size_t ifd = r.u32(4);
  if (!r.has(ifd, 2)) return 1;
  const uint32_t count = r.u16(ifd);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = ifd + 2 + size_t(i) * 12;
    if (!r.has(entry, 12)) return 1;
    if (r.u16(entry) != ORIENTATION_TAG) continue;
    if (r.u16(entry + 2) != TYPE_SHORT || r.u32(entry + 4) != 1) return 1;
    const uint32_t value = r.u16(entry + 8);
    return value >= 1 && value <= 8 ? uint8_t(value) : 1;
  }
  return 1;
}

uint8_t photo_orientation(std::span<const uint8_t> b) {
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xD8) return jpeg_orientation(b);
  static constexpr uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() >= 8 && std::memcmp(b.data(), PNG_SIGNATURE, 8) == 0) return png_orientation(b);
  return 1;
}

void orient_bottom_first(const uint8_t* src, uint32_t width, uint32_t height, uint8_t orientation, uint8_t* out) {
  const bool swaps = orientation_swaps_sides(orientation);
  const uint32_t out_w = swaps ? height : width, out_h = swaps ? width : height;
  // The stored pixel that upright pixel (x, y), y from the top, shows: start + x·along + y·down,
  // in whole pixels of the stored picture.
  const int64_t w = width, h = height;
  int64_t start = 0, along = 1, down = w;
  switch (orientation) {
    case 2: start = w - 1, along = -1, down = w; break;
    case 3: start = h * w - 1, along = -1, down = -w; break;
    case 4: start = (h - 1) * w, along = 1, down = -w; break;
    case 5: start = 0, along = w, down = 1; break;
    case 6: start = (h - 1) * w, along = -w, down = 1; break;
    case 7: start = h * w - 1, along = -w, down = -1; break;
    case 8: start = w - 1, along = w, down = -1; break;
    default: break;
  }
  const size_t row_bytes = size_t(out_w) * 4;
  for (uint32_t y = 0; y < out_h; ++y) {
    uint8_t* row = out + size_t(out_h - 1 - y) * row_bytes;
    const int64_t first = start + int64_t(y) * down;
    if (along == 1) {
      std::memcpy(row, src + first * 4, row_bytes);
      continue;
    }
    for (uint32_t x = 0; x < out_w; ++x) std::memcpy(row + size_t(x) * 4, src + (first + int64_t(x) * along) * 4, 4);
  }
}
