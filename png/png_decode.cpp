// PNG decoding: the whole bytes of a PNG file to 8-bit RGBA, top row first.
//
// The decoder reads a file in the order the format lays it out, one function per step:
// the header at its fixed place, the chunk walk that collects the image data, the palette
// and the transparency, the inflater over the joined IDAT data, unfiltering (row after row,
// or through the seven Adam7 passes) into a raw image at the file's own bit depth, and the
// conversion of that raw image into RGBA. CRCs are never verified; ancillary chunks other
// than tRNS are skipped. Nothing outlives a call, and no global state is written.
//
// Result codes, in the order they are tested (names in result_codes.h):
//
//   48  no input: an empty byte sequence
//   27  fewer than 29 bytes (the header's fields end at byte 28)
//   28  bytes 0-7 are not the PNG signature
//   29  bytes 12-15 are not "IHDR"
//   32  compression method not 0
//   33  filter method not 0
//   34  interlace method above 1
//   31  colour type not 0, 2, 3, 4 or 6
//   37  bit depth not allowed for the colour type
//  101  width 0: the format forbids it, and the filters have no room for a pixel
//  102  some buffer of the image (raw image, decompressed data, line, pixels) would exceed
//       PNG_MAX_BUFFER_BYTES or overflow 64 bits; rejected before anything is allocated
//   30  fewer than 9 bytes from a chunk's start to the end of the input (no "IEND")
//   63  chunk length above 2^31 - 1
//   35  chunk data running past the end of the input
//   38  "PLTE" with more than 256 entries
//   39  palette image: "tRNS" longer than the palette has entries
//   40  greyscale image: "tRNS" length not 2
//   41  RGB image: "tRNS" length not 6
//   42  "tRNS" in a greyscale + alpha or RGBA image
//   69  a critical chunk (bit 5 of its first type byte clear) other than IDAT, IEND, PLTE
//  103  the rows need more decompressed bytes than the IDAT data could ever inflate to
//       (deflate expands at most MAX_INFLATE_RATIO times); rejected before allocating
//  ...  zlib_decompress failed: its code, unchanged (no IDAT data at all gives its 53)
//  100  the decompressed data are shorter than the rows or passes need
//   36  a filter-type byte above 4 in any row
//   46  bit depth 8, palette image: a pixel's index at or beyond the palette's entries
//   47  bit depth below 8, palette image: the same
//
// What a failure leaves: width and height are 0 after 48, 27, 28, 29; after the other
// header codes (32 ... 37, 101, 102) the fields read so far are kept, and after the chunk
// codes and the inflater's, whatever the chunks set. Pixels stay empty up to 100; after 36
// they hold the partly filled raw image, after 46 and 47 width × height × 4 bytes of which
// only those before the offending pixel mean anything.
#include "png/png_decode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "png/inflate.h"
#include "png/result_codes.h"
#include "png/rgba_conversion.h"
#include "png/unfilter.h"

namespace {

constexpr uint8_t SIGNATURE[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr size_t HEADER_END = 29;   // last header field is byte 28
constexpr size_t FIRST_CHUNK = 33;  // signature, then IHDR: length, type, 13 data bytes, CRC
constexpr uint32_t MAX_CHUNK_LENGTH = 0x7FFFFFFF;  // fixed by the format
constexpr size_t MAX_PALETTE_ENTRIES = 256;        // fixed by the format

// Deflate's densest code is a 258-byte match in 2 bits (1-bit length and distance codes),
// so no zlib stream inflates to more than 1032 bytes per byte of input.
constexpr uint64_t MAX_INFLATE_RATIO = 1032;

struct Adam7Pass {
  uint32_t x0, y0, dx, dy;  // origin and spacing in the image
};
constexpr Adam7Pass ADAM7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint32_t read_be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

uint32_t read_be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

bool is_type(const uint8_t* type, const char (&name)[5]) { return std::memcmp(type, name, 4) == 0; }

// Bits per pixel of an allowed colour type and bit depth, 0 for a pair the format does
// not allow.
uint32_t bits_per_pixel(uint32_t colour_type, uint32_t bit_depth) {
  const bool low = bit_depth == 1 || bit_depth == 2 || bit_depth == 4;
  const bool high = bit_depth == 8 || bit_depth == 16;
  switch (colour_type) {
    case 0: return low || high ? bit_depth : 0;
    case 2: return high ? 3 * bit_depth : 0;
    case 3: return low || bit_depth == 8 ? bit_depth : 0;
    case 4: return high ? 2 * bit_depth : 0;
    case 6: return high ? 4 * bit_depth : 0;
    default: return 0;
  }
}

// Size arithmetic: every product is checked, so no file can wrap a size into a small one.
bool mul(uint64_t a, uint64_t b, uint64_t& out) { return !__builtin_mul_overflow(a, b, &out); }
bool add(uint64_t a, uint64_t b, uint64_t& out) { return !__builtin_add_overflow(a, b, &out); }

// Bytes of a row of n pixels: (n × bpp + 7) div 8. n < 2^32 and bpp <= 64, so this cannot
// overflow 64 bits.
uint64_t line_bytes(uint64_t n, uint32_t bpp) { return (n * bpp + 7) / 8; }

uint64_t pass_width(const Adam7Pass& p, uint64_t w) { return (w + p.dx - 1 - p.x0) / p.dx; }
uint64_t pass_height(const Adam7Pass& p, uint64_t h) { return (h + p.dy - 1 - p.y0) / p.dy; }

// Every buffer size of one image, worked out from the header before anything is allocated.
struct ImageSizes {
  uint64_t line = 0;      // line bytes of a full-width row (and of each line buffer)
  uint64_t raw = 0;       // raw image: all rows packed without spare bits
  uint64_t rows = 0;      // decompressed bytes the rows (or the seven passes) take
  uint64_t estimate = 0;  // first guess at the decompressed size, as the inflater is pre-sized
  uint64_t pixels = 0;    // the RGBA output
};

// False when a size overflows 64 bits or exceeds PNG_MAX_BUFFER_BYTES.
bool image_sizes(const PngInfo& info, uint32_t bpp, ImageSizes& s) {
  const uint64_t w = info.width, h = info.height;
  uint64_t t = 0;
  s.line = line_bytes(w, bpp);
  // raw = (w × h × bpp + 7) div 8
  if (!mul(w, h, t) || !mul(t, bpp, t) || !add(t, 7, t)) return false;
  s.raw = t / 8;
  // estimate = (w × (h × bpp + 7)) div 8 + h
  if (!mul(h, bpp, t) || !add(t, 7, t) || !mul(w, t, t)) return false;
  if (!add(t / 8, h, s.estimate)) return false;
  if (!mul(w, h, t) || !mul(t, 4, s.pixels)) return false;
  if (info.interlace_method == 0) {
    if (!mul(h, s.line + 1, s.rows)) return false;
  } else {
    s.rows = 0;
    for (const Adam7Pass& p : ADAM7) {
      const uint64_t pw = pass_width(p, w), ph = pass_height(p, h);
      if (pw == 0) continue;  // an empty pass has no filter-type bytes either
      if (!mul(ph, line_bytes(pw, bpp) + 1, t) || !add(s.rows, t, s.rows)) return false;
    }
  }
  const uint64_t largest = std::max({s.line, s.raw, s.rows, s.estimate, s.pixels});
  return largest <= PNG_MAX_BUFFER_BYTES;
}

// The counterpart of read_bits_msb; it only sets bits, so buf must start zeroed.
void write_bits_msb(uint8_t* buf, uint64_t& pos, uint32_t v, uint32_t n) {
  for (uint32_t i = n; i-- > 0; ++pos)
    if ((v >> i) & 1) buf[pos >> 3] |= uint8_t(0x80 >> (pos & 7));
}

// ORs the first nbits of src, most significant bit first, into dst from bit dst_bit on.
// Rows below 8 bits per pixel go through here; in most images they start on a byte.
void copy_bits(uint8_t* dst, uint64_t dst_bit, const uint8_t* src, uint64_t nbits) {
  uint8_t* d = dst + (dst_bit >> 3);
  const uint32_t shift = dst_bit & 7;
  for (uint64_t i = 0; i * 8 < nbits; ++i) {
    uint8_t b = src[i];
    const uint64_t left = nbits - i * 8;
    if (left < 8) b &= uint8_t(0xFF << (8 - left));  // the line's spare bits are dropped
    d[i] |= uint8_t(b >> shift);
    // Only touch the next byte when bits land there; it may lie past the raw image otherwise.
    if (shift != 0 && uint8_t(b << (8 - shift)) != 0) d[i + 1] |= uint8_t(b << (8 - shift));
  }
}

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

// Inflates the joined IDAT data. Only the bytes the rows read are stored: the rest of the
// stream is decoded through the inflater's window, for its result code, so a stream that goes on
// far beyond the image costs time but no memory. The output is pre-sized to what the rows need,
// which the data can always produce (or the file was rejected), so a tiny file with a huge
// header allocates little.
uint32_t inflate_image_data(const std::vector<uint8_t>& idat, const ImageSizes& sizes, bool exact,
                            std::vector<uint8_t>& inflated) {
  uint64_t most = 0;
  if (!mul(idat.size(), MAX_INFLATE_RATIO, most)) most = UINT64_MAX;
  // Fewer than 2 bytes are left to the inflater, which has its own code for them.
  if (idat.size() >= 2 && sizes.rows > most) return PNG_DATA_TOO_SMALL;
  inflated.resize(std::min(sizes.rows, most));
  return zlib_decompress_with(idat, inflated, {.keep = sizes.rows, .exact = exact});
}

// Rows without interlace. Row y takes 1 + line bytes at y × (line + 1): its filter type,
// then its filtered bytes. From 8 bits per pixel up a row is unfiltered straight into the
// raw image, its prior row read back from there; below 8 it goes through a line buffer and
// its bits are packed into the raw image, which continues the next row in the same byte.
uint32_t unfilter_rows(const uint8_t* data, const PngInfo& info, uint32_t bpp, const ImageSizes& sizes,
                       uint8_t* raw) {
  const size_t line = sizes.line, bw = (bpp + 7) / 8;
  if (bpp >= 8) {
    for (size_t y = 0; y < info.height; ++y) {
      const uint8_t* row = data + y * (line + 1);
      const uint8_t* prior = y == 0 ? nullptr : raw + (y - 1) * line;
      if (uint32_t r = unfilter_scanline(raw + y * line, row[0], row + 1, prior, bw, line)) return r;
    }
    return PNG_OK;
  }
  std::vector<uint8_t> current(line), previous(line);
  const uint64_t row_bits = uint64_t{info.width} * bpp;
  for (size_t y = 0; y < info.height; ++y) {
    const uint8_t* row = data + y * (line + 1);
    const uint8_t* prior = y == 0 ? nullptr : previous.data();
    if (uint32_t r = unfilter_scanline(current.data(), row[0], row + 1, prior, bw, line)) return r;
    copy_bits(raw, y * row_bits, current.data(), row_bits);
    std::swap(current, previous);
  }
  return PNG_OK;
}

// One Adam7 pass: its rows from `data` on (advanced past the pass), each unfiltered into one
// line buffer over the other, holding its prior row, and its pixels spread to their places in
// the raw image. A pass of width or height 0 takes no bytes and does nothing.
uint32_t adam7_pass(const Adam7Pass& p, const uint8_t*& data, const PngInfo& info, uint32_t bpp,
                    uint8_t* current, uint8_t* previous, uint8_t* raw) {
  const uint64_t w = info.width;
  const uint64_t pw = pass_width(p, w), ph = pass_height(p, info.height);
  if (pw == 0 || ph == 0) return PNG_OK;
  const size_t line = line_bytes(pw, bpp), bw = (bpp + 7) / 8;
  for (uint64_t y = 0; y < ph; ++y) {
    const uint8_t* prior = y == 0 ? nullptr : previous;
    if (uint32_t r = unfilter_scanline(current, data[0], data + 1, prior, bw, line)) return r;
    data += line + 1;
    const uint64_t first = (p.y0 + y * p.dy) * w + p.x0;  // pixel index of the row's first pixel
    if (bpp >= 8) {
      for (uint64_t i = 0; i < pw; ++i)
        std::memcpy(raw + bw * (first + i * p.dx), current + i * bw, bw);
    } else {
      uint64_t from = 0;
      for (uint64_t i = 0; i < pw; ++i) {
        uint64_t to = bpp * (first + i * p.dx);
        write_bits_msb(raw, to, read_bits_msb(current, from, bpp), bpp);
      }
    }
    std::swap(current, previous);
  }
  return PNG_OK;
}

uint32_t unfilter_passes(const uint8_t* data, const PngInfo& info, uint32_t bpp, const ImageSizes& sizes,
                         uint8_t* raw) {
  std::vector<uint8_t> current(sizes.line), previous(sizes.line);
  for (const Adam7Pass& p : ADAM7)
    if (uint32_t r = adam7_pass(p, data, info, bpp, current.data(), previous.data(), raw)) return r;
  return PNG_OK;
}

// Makes the raw image held in `pixels` into width × height RGBA pixels there.
uint32_t convert_to_rgba(const PngInfo& info, std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> raw;
  raw.swap(pixels);
  const uint64_t count = uint64_t{info.width} * info.height;
  pixels.resize(count * 4);
  return pixels_to_rgba(info, raw.data(), count, pixels.data());
}

// The reference way from the decompressed data to the pixels, one step after the other as the
// format describes them.
uint32_t rows_to_pixels_exact(const uint8_t* data, const PngInfo& info, uint32_t bpp, const ImageSizes& sizes,
                              std::vector<uint8_t>& pixels) {
  pixels.assign(sizes.raw, 0);  // bit-level writes only set bits
  const uint32_t r = info.interlace_method == 0 ? unfilter_rows(data, info, bpp, sizes, pixels.data())
                                                : unfilter_passes(data, info, bpp, sizes, pixels.data());
  if (r != PNG_OK) return r;
  if (info.colour_type == 6 && info.bit_depth == 8) return PNG_OK;  // the raw image is RGBA already
  return convert_to_rgba(info, pixels);
}

// The fast way, for images without interlace: no raw image. 8-bit RGB and RGBA rows are
// reconstructed straight into the RGBA pixels, the prior row read back from there; every other
// format goes a row at a time through a line buffer and is converted while the row is in cache.
// False for a bad filter type or palette index: the reference way then runs again from the
// start, so that a failure leaves exactly its leftovers.
bool rows_to_pixels_fast(const uint8_t* data, const PngInfo& info, uint32_t bpp, const ImageSizes& sizes,
                         std::vector<uint8_t>& pixels) {
  if (info.interlace_method != 0) return false;
  const size_t line = sizes.line, width = info.width, out_line = width * 4;
  pixels.resize(sizes.pixels);
  uint8_t* out = pixels.data();
  if (info.bit_depth == 8 && (info.colour_type == 2 || info.colour_type == 6)) {
    const int channels = info.colour_type == 2 ? 3 : 4;
    for (size_t y = 0; y < info.height; ++y, out += out_line) {
      const uint8_t* row = data + y * (line + 1);
      if (!unfilter_row_to_rgba(out, row[0], row + 1, y ? out - out_line : nullptr, width, channels)) return false;
      if (channels == 3 && info.key_defined)
        for (uint8_t* p = out; p < out + out_line; p += 4)
          if (p[0] == info.key_r && p[1] == info.key_g && p[2] == info.key_b) p[3] = 0;
    }
    return true;
  }
  // Rows of filter type None are converted where they lie; the others are reconstructed into the
  // line buffer that does not hold the prior row.
  std::vector<uint8_t> lines(2 * line);
  const uint8_t* prior = nullptr;
  for (size_t y = 0; y < info.height; ++y, out += out_line) {
    const uint8_t* row = data + y * (line + 1);
    const uint8_t* reconstructed = row + 1;
    if (row[0] != 0) {
      uint8_t* target = lines.data() + (y & 1) * line;
      if (unfilter_scanline(target, row[0], row + 1, prior, (bpp + 7) / 8, line)) return false;
      reconstructed = target;
    }
    if (pixels_to_rgba(info, reconstructed, width, out)) return false;
    prior = reconstructed;
  }
  return true;
}

uint32_t decode(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels, bool exact) {
  info = PngInfo{};
  pixels.clear();
  if (bytes.empty()) return PNG_NO_INPUT;
  if (bytes.size() < HEADER_END) return PNG_TOO_SHORT;
  if (uint32_t r = read_header(bytes, info)) return r;
  if (info.width == 0) return PNG_ZERO_WIDTH;
  const uint32_t bpp = bits_per_pixel(info.colour_type, info.bit_depth);
  ImageSizes sizes;
  if (!image_sizes(info, bpp, sizes)) return PNG_IMAGE_TOO_LARGE;

  std::vector<uint8_t> idat;
  if (uint32_t r = read_chunks(bytes, info, idat)) return r;
  std::vector<uint8_t> inflated;
  if (uint32_t r = inflate_image_data(idat, sizes, exact, inflated)) return r;
  idat = {};
  if (inflated.size() < sizes.rows) return PNG_ROWS_TRUNCATED;  // never read past the data
  if (info.height == 0) return PNG_OK;  // no rows: no line buffers, nothing to convert

  if (!exact && rows_to_pixels_fast(inflated.data(), info, bpp, sizes, pixels)) return PNG_OK;
  return rows_to_pixels_exact(inflated.data(), info, bpp, sizes, pixels);
}

}  // namespace

uint32_t png_decode(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels) {
  return decode(bytes, info, pixels, false);
}

uint32_t png_decode_exact(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels) {
  return decode(bytes, info, pixels, true);
}
