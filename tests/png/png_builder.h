#pragma once
// Hand-made PNG files for the decoder's tests: chunks with right or wrong CRCs, image data
// compressed by the system zlib, rows with explicit filter-type bytes.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct PngHeader {
  uint32_t width = 1;
  uint32_t height = 1;
  uint8_t bit_depth = 8;
  uint8_t colour_type = 0;
  uint8_t compression_method = 0;
  uint8_t filter_method = 0;
  uint8_t interlace_method = 0;
};

// A chunk: length, type, data, CRC (deliberately wrong when good_crc is false).
Bytes chunk(const std::string& type, std::span<const uint8_t> data, bool good_crc = true);
Bytes ihdr_chunk(const PngHeader& header);
Bytes iend_chunk();

// The signature followed by the given chunks, in order.
Bytes png_file(std::initializer_list<Bytes> chunks);

// zlib stream of `data` from the system zlib.
Bytes zlib_compress(std::span<const uint8_t> data);

// Rows of `line` bytes each, every one prefixed with filter-type byte `filter`.
Bytes with_filter_bytes(std::span<const uint8_t> rows, size_t line, uint8_t filter = 0);

// Signature, IHDR, the given chunks, one IDAT of zlib(filtered) and IEND.
Bytes simple_png(const PngHeader& header, std::span<const uint8_t> filtered,
                 std::initializer_list<Bytes> before_idat = {});

// Every CRC in a well-formed file replaced by a wrong one.
Bytes with_bad_crcs(Bytes file);

Bytes be16(uint32_t v);
Bytes be32(uint32_t v);
Bytes operator+(Bytes a, const Bytes& b);
