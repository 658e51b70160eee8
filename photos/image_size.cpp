// Header parsing for the size of a photo. The same parsers run over a byte span and over a file,
// so the loaders (which hold the whole file) and the load sequence's estimates (which
// read only the header) agree on every file.
#include "photos/image_size.h"

#include <algorithm>

#include "png/regular_file.h"

namespace {

uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t be32(const uint8_t* p) { return be16(p) << 16 | be16(p + 2); }
uint32_t le16(const uint8_t* p) { return uint32_t(p[1]) << 8 | p[0]; }
uint32_t le32(const uint8_t* p) { return le16(p + 2) << 16 | le16(p); }

class SpanReader {
 public:
  explicit SpanReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  int get() { return at_ < bytes_.size() ? bytes_[at_++] : -1; }
  bool read(uint8_t* out, size_t n) {
    if (bytes_.size() - std::min(at_, bytes_.size()) < n) return false;
    std::copy_n(bytes_.begin() + at_, n, out);
    at_ += n;
    return true;
  }
  void seek(size_t at) { at_ = at; }
  void skip(size_t n) { at_ += std::min(n, bytes_.size() - std::min(at_, bytes_.size())); }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

// Reads a file through a window of its bytes, so that scanning a JPEG's segments byte by byte
// costs no system call a byte.
class FileReader {
 public:
  explicit FileReader(const RegularFile& file) : file_(file) {}
  int get() {
    if (at_ < start_ || at_ >= start_ + have_) fill();
    return at_ < start_ + have_ ? window_[at_++ - start_] : -1;
  }
  bool read(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const int c = get();
      if (c < 0) return false;
      out[i] = uint8_t(c);
    }
    return true;
  }
  void seek(size_t at) { at_ = at; }
  void skip(size_t n) { at_ += n; }

 private:
  void fill() {
    start_ = at_;
    have_ = file_.read_at(at_, window_, sizeof window_);
  }
  const RegularFile& file_;
  uint8_t window_[1 << 14];
  uint64_t start_ = 0, at_ = 0;
  size_t have_ = 0;
};

struct Size {
  uint32_t width = 0, height = 0;
  uint32_t bits_per_pixel = 0;
  bool interlaced = false;
};

// Format notes: the signature, then IHDR as the first chunk: length 13, "IHDR", width, height,
// bit depth, colour type (0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA), compression,
// filter, interlace.
template <class Reader>
Size png_size(Reader& in) {
  uint8_t head[29];
  in.seek(0);
  if (!in.read(head, 24) || !std::equal(head + 12, head + 16, "IHDR")) return {};
  Size s{be32(head + 16), be32(head + 20)};
  if (in.read(head + 24, 5)) {
    constexpr uint32_t CHANNELS[] = {1, 0, 3, 1, 2, 0, 4};
    s.bits_per_pixel = head[25] < 7 ? CHANNELS[head[25]] * head[24] : 0;
    s.interlaced = head[28] != 0;
  }
  return s;
}

// Format notes: after SOI, segments of FF, a marker byte and (except for the standalone markers
// RSTn, TEM and SOI) a big-endian length that counts itself. The frame header, one of the SOFn
// markers, gives precision, height and width; a scan or the end before it means no frame at all.
// Bytes between segments are skipped as libjpeg skips them (it warns and goes on), so a file
// cannot hide its frame header from this reader and still show it to the codec; nor behind many
// segments, since libjpeg counts none: each turn of the loop takes at least a byte, so it ends with
// the file.
template <class Reader>
Size jpeg_size(Reader& in) {
  in.seek(2);
  for (;;) {
    int marker = in.get();
    while (marker != 0xFF && marker != -1) marker = in.get();  // stray bytes
    while (marker == 0xFF) marker = in.get();                  // fill bytes
    if (marker == -1 || marker == 0xD9 || marker == 0xDA) return {};
    if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    uint8_t length[2];
    if (!in.read(length, 2) || be16(length) < 2) return {};
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      uint8_t header[6];
      if (!in.read(header, 6)) return {};
      return {be16(header + 3), be16(header + 1), 8u * header[5]};
    }
    in.skip(be16(length) - 2);
  }
}

// Format notes: "GIF8?a", the logical screen (width, height little-endian, flags with the global
// colour table's presence and size), then blocks: extensions (21, a label, sub-blocks ending in an
// empty one), image descriptors (2C, left, top, width, height) and the trailer (3B). The codec
// decodes the first image; the size is the larger of it and the screen on each axis, so that a
// file cannot slip a huge canvas past the check behind a small image, nor the other way round.
// Any other byte between blocks the codec skips, however many there are, and so does this reader:
// each turn of its loop takes at least a byte, so it ends with the file.
template <class Reader>
Size gif_size(Reader& in) {
  uint8_t screen[7];
  in.seek(6);
  if (!in.read(screen, sizeof screen)) return {};
  const Size screen_size{le16(screen), le16(screen + 2), 8};
  if (screen[4] & 0x80) in.skip(3u << ((screen[4] & 7) + 1));
  for (;;) {
    const int kind = in.get();
    if (kind == -1 || kind == 0x3B) return screen_size;
    if (kind == 0x2C) {
      uint8_t image[8];
      if (!in.read(image, sizeof image)) return screen_size;
      return {std::max(screen_size.width, le16(image + 4)), std::max(screen_size.height, le16(image + 6)), 8};
    }
    if (kind != 0x21) continue;  // a stray byte
    if (in.get() == -1) return screen_size;
    for (int length = in.get(); length > 0; length = in.get()) in.skip(size_t(length));
  }
}

// Format notes: a 14-byte file header, then the info header, whose own size comes first. The old
// core header (12 bytes) holds 16-bit width and height; every later one signed 32-bit values, a
// negative height meaning rows stored top first.
template <class Reader>
Size bmp_size(Reader& in) {
  uint8_t info[16];
  in.seek(14);
  if (!in.read(info, 12)) return {};
  if (le32(info) == 12) return {le16(info + 4), le16(info + 6), le16(info + 10)};
  const auto magnitude = [](uint32_t v) { return int32_t(v) < 0 ? uint32_t(0) - v : v; };
  Size s{magnitude(le32(info + 4)), magnitude(le32(info + 8))};
  if (in.read(info + 12, 4)) s.bits_per_pixel = le16(info + 14);
  return s;
}

template <class Reader>
ImageSize size_from(Reader& in, ImageFormat format) {
  Size s;
  switch (format) {
    case ImageFormat::Png: s = png_size(in); break;
    case ImageFormat::Jpeg: s = jpeg_size(in); break;
    case ImageFormat::Gif: s = gif_size(in); break;
    case ImageFormat::Bmp: s = bmp_size(in); break;
    case ImageFormat::Unknown: break;
  }
  return {format, s.width, s.height, s.bits_per_pixel, s.interlaced};
}

}  // namespace

ImageSize image_size(std::span<const uint8_t> bytes) {
  SpanReader in(bytes);
  return size_from(in, sniff_image_format(bytes));
}

ImageSize image_size_of_file(const std::string& path) {
  const RegularFile file(path);
  uint8_t head[8] = {};
  const size_t got = file.read_at(0, head, sizeof head);
  FileReader in(file);
  return size_from(in, sniff_image_format(std::span<const uint8_t>(head, got)));
}

uint64_t rgba_bytes(uint64_t width, uint64_t height) {
  constexpr uint64_t most = UINT64_MAX / 4;
  if (width != 0 && height > most / width) return UINT64_MAX;
  return width * height * 4;
}

bool too_large_to_decode(const ImageSize& size) {
  return rgba_bytes(size.width, size.height) > PHOTO_DECODED_LIMIT;
}
