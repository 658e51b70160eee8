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
//  ...  zlib_decompress failed: its code, unchanged (no IDAT data at all gives its 53)
//   36  a filter-type byte above 4 in any row
//  100  the decompressed data are shorter than the rows or passes need, and every row they
//       hold whole has a sound filter type (a bad one among those gives 36)
//   46  bit depth 8, palette image: a pixel's index at or beyond the palette's entries
//   47  bit depth below 8, palette image: the same
//
// What a failure leaves: width and height are 0 after 48, 27, 28, 29; after the other
// header codes (32 ... 37, 101, 102) the fields read so far are kept, and after the chunk
// codes and the inflater's, whatever the chunks set. Pixels stay empty up to 100; after 36
// they hold the partly filled raw image (stay empty when the data end before the rows do), after
// 46 and 47 width × height × 4 bytes of which only those before the offending pixel mean anything.
// (103, the IDAT data too small to ever inflate to the rows, is no longer returned: the inflater
// runs on such data too, for its own code, and the short data then give 100.)
#include "png/png_decode.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "png/adam7_passes.h"
#include "png/adam7_unfilter.h"
#include "png/image_sizes.h"
#include "png/packed_bits.h"
#include "png/png_chunks.h"
#include "png/result_codes.h"
#include "png/rgba_conversion.h"
#include "png/rows_to_pixels_fast.h"
#include "png/unfilter.h"
#include "png/zlib_stream.h"

namespace {

constexpr size_t HEADER_END = 29;   // last header field is byte 28

// Deflate's densest code is a 258-byte match in 2 bits (1-bit length and distance codes),
// so no zlib stream inflates to more than 1032 bytes per byte of input.
constexpr uint64_t MAX_INFLATE_RATIO = 1032;

// Inflates the joined IDAT data. Only the bytes the rows read are stored: the rest of the
// stream is decoded through the inflater's window, for its result code, so a stream that goes on
// far beyond the image costs time but no memory. The output is pre-sized to what the rows need,
// or to what the data could ever inflate to when that is less, so a tiny file with a huge header
// allocates little; the inflater still runs on it, and its code is the call's.
uint32_t inflate_image_data(const std::vector<uint8_t>& idat, const ImageSizes& sizes, bool exact, uint32_t cpu,
                            FastRows* rows, std::vector<uint8_t>& inflated) {
  uint64_t most = 0;
  if (!mul(idat.size(), MAX_INFLATE_RATIO, most)) most = UINT64_MAX;
  inflated.resize(std::min(sizes.rows, most));
  InflateOptions options{.keep = sizes.rows, .exact = exact, .cpu = cpu};
  if (rows) {
    options.progress = [rows](const uint8_t* data, uint64_t final_bytes) {
      if (final_bytes == 0) {
        rows->restart();
      } else {
        rows->add(data, final_bytes);
      }
    };
  }
  return zlib_decompress_with(idat, inflated, options);
}

// The data end before the rows do: 36 when a row they hold whole has a filter type above 4
// before the first row they do not hold whole, else 100. Only the filter-type bytes are read, so
// a small file claiming a huge image never has the raw image allocated.
uint32_t short_data_code(const std::vector<uint8_t>& data, const PngInfo& info, uint32_t bpp) {
  size_t at = 0;
  const auto rows = [&](uint64_t width, uint64_t height) {
    const uint64_t line = line_bytes(width, bpp);
    for (uint64_t y = 0; y < height; ++y, at += line + 1) {
      if (data.size() - at < line + 1) return PNG_ROWS_TRUNCATED;
      if (data[at] > 4) return PNG_BAD_FILTER_TYPE;
    }
    return PNG_OK;
  };
  if (info.interlace_method == 0) {
    const uint32_t r = rows(info.width, info.height);
    return r != PNG_OK ? r : PNG_ROWS_TRUNCATED;
  }
  for (const Adam7Pass& p : ADAM7) {
    const uint64_t pw = pass_width(p, info.width), ph = pass_height(p, info.height);
    if (pw == 0 || ph == 0) continue;
    if (uint32_t r = rows(pw, ph)) return r;
  }
  return PNG_ROWS_TRUNCATED;
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

uint32_t decode(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels, bool exact,
                uint32_t cpu) {
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
  // The fast way takes the rows as the inflater makes them final, while they are in cache. Until
  // the inflater has succeeded and the rows are all there, the pixels it fills are no result:
  // every failure before the rows gives them back empty.
  std::optional<FastRows> rows;
  if (!exact && info.interlace_method == 0 && info.height != 0) rows.emplace(info, bpp, sizes, cpu, pixels);
  std::vector<uint8_t> inflated;
  if (uint32_t r = inflate_image_data(idat, sizes, exact, cpu, rows ? &*rows : nullptr, inflated)) {
    pixels.clear();
    return r;
  }
  idat = {};
  if (inflated.size() < sizes.rows) {  // never read past the data
    pixels.clear();
    return short_data_code(inflated, info, bpp);
  }
  if (info.height == 0) return PNG_OK;  // no rows: no line buffers, nothing to convert

  if (rows && rows->add(inflated.data(), inflated.size()) && rows->complete()) return PNG_OK;
  return rows_to_pixels_exact(inflated.data(), info, bpp, sizes, pixels);
}

}  // namespace

uint32_t png_decode(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels) {
  return decode(bytes, info, pixels, false, CPU_ANY);
}

uint32_t png_decode_exact(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels) {
  return decode(bytes, info, pixels, true, CPU_PORTABLE);
}

uint32_t png_decode_with(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels, uint32_t cpu) {
  return decode(bytes, info, pixels, false, cpu);
}
