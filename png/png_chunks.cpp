// A PNG file's header and chunks. CRCs are never verified; ancillary chunks other than tRNS
// are skipped.
#include "png/png_chunks.h"

#include <algorithm>
#include <cstring>

#include "png/image_sizes.h"
#include "png/result_codes.h"

namespace {

constexpr uint8_t SIGNATURE[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr size_t FIRST_CHUNK = 33;  // signature, then IHDR: length, type, 13 data bytes, CRC
constexpr uint32_t MAX_CHUNK_LENGTH = 0x7FFFFFFF;  // fixed by the format
constexpr size_t MAX_PALETTE_ENTRIES = 256;        // fixed by the format

uint32_t read_be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

uint32_t read_be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

bool is_type(const uint8_t* type, const char (&name)[5]) { return std::memcmp(type, name, 4) == 0; }

}  // namespace

// Header, at fixed offsets. Each field is stored before it is tested, so a failure leaves
// the fields up to the failing one. The IHDR length field (bytes 8-11) is not read.
uint32_t read_header(std::span<const uint8_t> b, PngInfo& info) {
  if (!std::equal(std::begin(SIGNATURE), std::end(SIGNATURE), b.begin()))
    return PNG_BAD_SIGNATURE;  // not a PNG file
  if (!is_type(&b[12], "IHDR")) return PNG_NO_IHDR;  // first chunk is not the header
  info.width = read_be32(&b[16]);
  info.height = read_be32(&b[20]);
  info.bit_depth = b[24];
  info.colour_type = b[25];
  info.compression_method = b[26];
  if (info.compression_method != 0) return PNG_BAD_COMPRESSION_METHOD;  // only deflate exists
  info.filter_method = b[27];
  if (info.filter_method != 0) return PNG_BAD_FILTER_METHOD;  // only the five filters exist
  info.interlace_method = b[28];
  if (info.interlace_method > 1) return PNG_BAD_INTERLACE_METHOD;  // neither none nor Adam7
  const uint32_t t = info.colour_type;
  if (t != 0 && t != 2 && t != 3 && t != 4 && t != 6) return PNG_BAD_COLOUR_TYPE;
  if (bits_per_pixel(t, info.bit_depth) == 0) return PNG_BAD_BIT_DEPTH;  // e.g. RGB at 4 bits
  return PNG_OK;
}

namespace {

// PLTE: entries of 3 bytes; spare bytes beyond the last whole entry are ignored. A later
// PLTE replaces the palette, alphas back at 255.
uint32_t read_palette(const uint8_t* data, uint32_t length, PngInfo& info) {
  const size_t entries = length / 3;
  if (entries > MAX_PALETTE_ENTRIES) return PNG_PALETTE_TOO_LONG;  // checked before resizing
  info.palette.resize(4 * entries);
  for (size_t k = 0; k < entries; ++k) {
    info.palette[4 * k + 0] = data[3 * k + 0];
    info.palette[4 * k + 1] = data[3 * k + 1];
    info.palette[4 * k + 2] = data[3 * k + 2];
    info.palette[4 * k + 3] = 255;
  }
  return PNG_OK;
}

// tRNS: alphas of the first palette entries, or the one colour key of a greyscale or RGB
// image, kept as stored (16 bits, never scaled to the bit depth).
uint32_t read_transparency(const uint8_t* data, uint32_t length, PngInfo& info) {
  switch (info.colour_type) {
    case 3:
      if (length > info.palette.size() / 4) return PNG_TRNS_BEYOND_PALETTE;  // or before PLTE
      for (uint32_t k = 0; k < length; ++k) info.palette[4 * k + 3] = data[k];
      return PNG_OK;
    case 0:
      if (length != 2) return PNG_TRNS_GREY_LENGTH;
      info.key_r = info.key_g = info.key_b = read_be16(data);
      info.key_defined = true;
      return PNG_OK;
    case 2:
      if (length != 6) return PNG_TRNS_RGB_LENGTH;
      info.key_r = read_be16(data);
      info.key_g = read_be16(data + 2);
      info.key_b = read_be16(data + 4);
      info.key_defined = true;
      return PNG_OK;
    default:
      return PNG_TRNS_WITH_ALPHA;  // the image carries its own alpha
  }
}

}  // namespace

// The chunk walk from byte 33 up to and including IEND. IDAT data are joined in file order
// wherever they sit; the order of the other chunks is free but for tRNS after PLTE.
uint32_t read_chunks(std::span<const uint8_t> b, PngInfo& info, std::vector<uint8_t>& idat) {
  const size_t n = b.size();
  info.key_defined = false;
  for (size_t s = FIRST_CHUNK;;) {
    if (s + 8 >= n) return PNG_NO_IEND;  // no room for another chunk's length and type
    const uint32_t length = read_be32(&b[s]);
    if (length > MAX_CHUNK_LENGTH) return PNG_CHUNK_TOO_LONG;
    if (s + 8 + length > n) return PNG_CHUNK_PAST_END;  // data would run past the input
    const uint8_t* type = &b[s + 4];
    const uint8_t* data = &b[s + 8];
    uint32_t result = PNG_OK;
    if (is_type(type, "IDAT")) {
      idat.insert(idat.end(), data, data + length);
    } else if (is_type(type, "IEND")) {
      return PNG_OK;  // nothing behind it is read, not even its CRC
    } else if (is_type(type, "PLTE")) {
      result = read_palette(data, length, info);
    } else if (is_type(type, "tRNS")) {
      result = read_transparency(data, length, info);
    } else if ((type[0] & 32) == 0) {
      return PNG_UNKNOWN_CRITICAL_CHUNK;  // a decoder must not skip a critical chunk
    }
    if (result != PNG_OK) return result;
    s += 12 + size_t{length};  // the CRC is stepped over, never verified
  }
}

bool reaches_image_data(std::span<const uint8_t> b) {
  constexpr size_t CHUNK_FRAME = 12;  // length, type, CRC
  size_t at = sizeof SIGNATURE;
  while (at <= b.size() && b.size() - at >= 8) {
    if (is_type(&b[at + 4], "IDAT")) return true;
    const uint32_t length = read_be32(&b[at]);
    if (b.size() - at < CHUNK_FRAME || length > b.size() - at - CHUNK_FRAME) return false;
    at += CHUNK_FRAME + length;
  }
  return false;
}
