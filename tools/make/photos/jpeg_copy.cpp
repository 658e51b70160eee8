// Format notes: a JPEG is a series of segments, each a marker (0xFF and a code) and, but for the
// markers that stand alone (SOI, EOI, RSTn), a two-byte big-endian length that counts itself. After
// a scan header (SOS) come entropy-coded bytes, in which 0xFF is always followed by 0x00 (a stuffed
// byte) or by a restart marker; any other marker ends them.
//
// An ICC profile is carried in APP2 segments that start "ICC_PROFILE\0", a sequence number and the
// count, in order. The profile has a 128-byte header, then a tag count and 12-byte entries: the
// tag's signature, offset and size. An XYZ tag holds "XYZ ", four reserved bytes and three
// s15Fixed16 numbers.
#include "tools/make/photos/jpeg_copy.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t be32(const uint8_t* p) { return be16(p) << 16 | be16(p + 2); }

const uint8_t* bytes_of(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// An EXIF APP1 segment holding only an orientation, big-endian.
std::string exif_orientation_segment(int orientation) {
  const std::string tiff = std::string("MM\0\x2a\0\0\0\x08", 8) + std::string("\0\x01", 2) +
                           std::string("\x01\x12\0\x03\0\0\0\x01\0", 9) + static_cast<char>(orientation) +
                           std::string("\0\0", 2) + std::string(4, '\0');
  const std::string payload = std::string("Exif\0\0", 6) + tiff;
  const size_t length = payload.size() + 2;
  return std::string("\xFF\xE1", 2) + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + payload;
}

}  // namespace

bool icc_is_srgb(std::string_view profile) {
  const uint8_t* p = bytes_of(profile);
  const size_t n = profile.size();
  if (n < 132 || be32(p) > n || std::memcmp(p + 36, "acsp", 4) != 0) return false;
  if (std::memcmp(p + 16, "RGB ", 4) != 0) return false;
  const uint32_t count = be32(p + 128);
  if (count > (n - 132) / 12) return false;
  // sRGB's colorants adapted to D50, as every sRGB profile carries them.
  struct Colorant {
    const char* tag;
    double x, y, z;
  } const want[] = {{"rXYZ", 0.4361, 0.2225, 0.0139}, {"gXYZ", 0.3851, 0.7169, 0.0971}, {"bXYZ", 0.1431, 0.0606, 0.7141}};
  int found = 0;
  for (const Colorant& c : want) {
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = p + 132 + 12 * i;
      if (std::memcmp(e, c.tag, 4) != 0) continue;
      const uint32_t offset = be32(e + 4), size = be32(e + 8);
      if (size < 20 || offset > n || n - offset < 20 || std::memcmp(p + offset, "XYZ ", 4) != 0) return false;
      auto fixed = [&](int k) { return static_cast<int32_t>(be32(p + offset + 8 + 4 * k)) / 65536.0; };
      if (std::abs(fixed(0) - c.x) > 0.01 || std::abs(fixed(1) - c.y) > 0.01 || std::abs(fixed(2) - c.z) > 0.01)
        return false;
      ++found;
      break;
    }
  }
  return found == 3;
}

std::string stripped_jpeg(std::string_view jpeg, int orientation) {
  const uint8_t* b = bytes_of(jpeg);
  const size_t n = jpeg.size();
  if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) return {};
  std::string head = "\xFF\xD8", body;
  std::vector<std::pair<int, std::string>> icc;  // sequence number, bytes
  bool frame = false;
  size_t at = 2;
  for (;;) {
    while (at < n && b[at] == 0xFF && at + 1 < n && b[at + 1] == 0xFF) ++at;  // fill bytes
    if (at + 2 > n || b[at] != 0xFF) return {};
    const uint8_t marker = b[at + 1];
    if (marker == 0xD9) {
      body.append("\xFF\xD9", 2);
      break;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) return {};
    if (at + 4 > n) return {};
    const size_t length = be16(b + at + 2);
    if (length < 2 || at + 2 + length > n) return {};
    const std::string_view segment = jpeg.substr(at, 2 + length);
    const uint8_t* s = b + at + 4;
    const size_t s_len = length - 2;
    at += 2 + length;
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      // Baseline, extended or progressive Huffman, 8-bit, grey or three components.
      if (marker > 0xC2 || frame || s_len < 6 || s[0] != 8 || (s[5] != 1 && s[5] != 3)) return {};
      frame = true;
      body += segment;
    } else if (marker == 0xE0 || marker == 0xEE) {
      head += segment;  // JFIF, and Adobe's colour transform flag, which decoders read
    } else if (marker == 0xE2 && s_len > 14 && std::memcmp(s, "ICC_PROFILE\0", 12) == 0) {
      icc.push_back({s[12], std::string(reinterpret_cast<const char*>(s + 14), s_len - 14)});
    } else if ((marker >= 0xE1 && marker <= 0xEF) || marker == 0xFE) {
      // Other metadata: EXIF, XMP, comments, maker notes.
    } else {
      body += segment;  // tables, restart interval, scans
      if (marker == 0xDA) {
        if (!frame) return {};
        // The entropy-coded bytes up to the next marker that is not a stuffed byte or a restart.
        size_t end = at;
        while (end + 1 < n && !(b[end] == 0xFF && b[end + 1] != 0x00 && !(b[end + 1] >= 0xD0 && b[end + 1] <= 0xD7) &&
                                 b[end + 1] != 0xFF))
          ++end;
        if (end + 1 >= n) return {};
        body.append(jpeg.substr(at, end - at));
        at = end;
      }
    }
  }
  if (!frame) return {};
  if (!icc.empty()) {
    std::sort(icc.begin(), icc.end(), [](const auto& a, const auto& c) { return a.first < c.first; });
    std::string profile;
    for (const auto& [k, part] : icc) profile += part;
    if (!icc_is_srgb(profile)) return {};
  }
  if (orientation >= 2 && orientation <= 8) head += exif_orientation_segment(orientation);
  return head + body;
}
