#include "tests/png/png_builder.h"

#include <zlib.h>

#include <stdexcept>

Bytes be16(uint32_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
Bytes be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes chunk(const std::string& type, std::span<const uint8_t> data, bool good_crc) {
  Bytes out = be32(uint32_t(data.size()));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, out.data() + 4, uInt(out.size() - 4));
  if (!good_crc) crc ^= 0x5A5A5A5A;
  return out + be32(uint32_t(crc));
}

Bytes ihdr_chunk(const PngHeader& h) {
  const Bytes data = be32(h.width) + be32(h.height) +
                     Bytes{h.bit_depth, h.colour_type, h.compression_method, h.filter_method,
                           h.interlace_method};
  return chunk("IHDR", data);
}

Bytes iend_chunk() { return chunk("IEND", {}); }

Bytes png_file(std::initializer_list<Bytes> chunks) {
  Bytes out = {137, 80, 78, 71, 13, 10, 26, 10};
  for (const Bytes& c : chunks) out = out + c;
  return out;
}

Bytes zlib_compress(std::span<const uint8_t> data) {
  uLongf size = compressBound(uLong(data.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, data.data(), uLong(data.size()), 9) != Z_OK)
    throw std::runtime_error("zlib compress2 failed");
  out.resize(size);
  return out;
}

Bytes with_filter_bytes(std::span<const uint8_t> rows, size_t line, uint8_t filter) {
  Bytes out;
  for (size_t at = 0; at < rows.size(); at += line) {
    out.push_back(filter);
    out.insert(out.end(), rows.begin() + at, rows.begin() + std::min(rows.size(), at + line));
  }
  return out;
}

Bytes simple_png(const PngHeader& header, std::span<const uint8_t> filtered,
                 std::initializer_list<Bytes> before_idat) {
  Bytes out = png_file({ihdr_chunk(header)});
  for (const Bytes& c : before_idat) out = out + c;
  return out + chunk("IDAT", zlib_compress(filtered)) + iend_chunk();
}

Bytes with_bad_crcs(Bytes file) {
  for (size_t s = 8; s + 12 <= file.size();) {
    const size_t length = size_t{file[s]} << 24 | size_t{file[s + 1]} << 16 |
                          size_t{file[s + 2]} << 8 | file[s + 3];
    const size_t crc = s + 8 + length;
    if (crc + 4 > file.size()) break;
    for (size_t i = 0; i < 4; ++i) file[crc + i] ^= 0xA5;
    s = crc + 4;
  }
  return file;
}
