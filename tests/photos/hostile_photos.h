#pragma once
// Photo files made to hurt: small files in every format the platform codecs read besides the show's
// own (by content, or TGA by its name), each claiming a picture of gigabytes; two that hide an SVG
// behind a JPEG's first bytes, which SDL_image's guessing loader, asked for a JPEG its own check does
// not take, would hand on to its SVG renderer; and a GIF whose huge second image the codec takes up
// when its small first one fails. For the size-cap tests and the photo fuzz seeds.
#include <cstdint>
#include <string>
#include <vector>

namespace hostile {

struct Photo {
  const char* name;
  std::string bytes;
};
inline std::string be32s(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
inline std::string le32s(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
inline std::string le16s(uint32_t v) { return {char(v), char(v >> 8)}; }
inline std::string tiff_entry(uint16_t tag, uint16_t type, uint32_t value) {
  return le16s(tag) + le16s(type) + le32s(1) + (type == 3 ? le16s(value) + le16s(0) : le32s(value));
}
inline const std::string SVG =
    "<svg xmlns='http://www.w3.org/2000/svg' width='20000' height='20000'><rect width='9' height='9'/></svg>";
// SOI, a baseline frame of 8 × 8 and three components, then a comment claiming more than follows.
inline const std::string JPEG_HEAD =
    std::string("\xFF\xD8\xFF\xC0\x00\x11\x08\x00\x08\x00\x08\x03\x01\x11\x00\x02\x11\x01\x03\x11\x01", 21);
inline std::vector<Photo> photos() {
  const std::string tiff = "II*" + std::string(1, '\0') + le32s(8) + le16s(9) + tiff_entry(256, 4, 20000) +
                           tiff_entry(257, 4, 20000) + tiff_entry(258, 3, 8) + tiff_entry(259, 3, 1) +
                           tiff_entry(262, 3, 1) + tiff_entry(273, 4, 200) + tiff_entry(277, 3, 1) +
                           tiff_entry(278, 4, 20000) + tiff_entry(279, 4, 400000000) + le32s(0) + std::string(64, '\0');
  std::string pcx(128, '\0');
  pcx[0] = 0x0A, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8;
  pcx.replace(8, 4, le16s(19999) + le16s(19999));
  pcx[65] = 3;
  pcx.replace(66, 2, le16s(20000));
  std::string lbm_header = "BMHD" + be32s(20) + std::string("\x4E\x20\x4E\x20", 4) + std::string(4, '\0') +
                           std::string("\x18\x00\x00\x00\x00\x00\x01\x01\x4E\x20\x4E\x20", 12);
  const std::string lbm_body = "ILBM" + lbm_header + "BODY" + be32s(4) + std::string(4, '\0');
  std::string icon = le16s(0) + le16s(1) + le16s(1) + std::string("\x01\x01\x00\x00", 4) + le16s(1) + le16s(32) +
                     le32s(48) + le32s(22) + le32s(40) + le32s(1) + le32s(2) + le16s(1) + le16s(32) +
                     std::string(24, '\0') + std::string("\x10\x20\x30\x00", 4) + std::string(4, '\0');
  return {
      {"webp.png", "RIFF" + le32s(26) + "WEBPVP8L" + le32s(14) + "\x2F" + le32s(0x0FFFFFFF) + std::string(9, '\0')},
      {"tiff.png", tiff},
      {"pnm.png", "P6\n20000 20000\n255\n" + std::string(48, '\x7F')},
      {"pcx.png", pcx + std::string(64, '\0')},
      {"xcf.png",
       "gimp xcf file" + std::string(1, '\0') + be32s(20000) + be32s(20000) + be32s(0) + std::string(32, '\0')},
      {"svg.png", SVG},
      {"xpm.png", "/* XPM */\nstatic char *x[] = {\n\"20000 20000 1 1\",\n\"a c #FF0000\",\n\"aaaa\"\n};\n"},
      {"qoi.png", "qoif" + be32s(16384) + be32s(16384) + std::string("\x04\x00", 2) + std::string(64, '\0')},
      {"lbm.png", "FORM" + be32s(uint32_t(lbm_body.size())) + lbm_body},
      {"xv.png", "P7 332\n#END_OF_COMMENTS\n20000 20000 255\n" + std::string(64, '\0')},
      {"icon.png", icon},
      {"tga.tga", std::string("\x00\x00\x02", 3) + std::string(9, '\0') + le16s(20000) + le16s(20000) + "\x20\x28" +
                      std::string(64, '\0')},
      {"svg-in-jpeg.png", JPEG_HEAD + "\xFF\xFE\xFF\xFF" + SVG},
      {"svg-in-jpeg.jpg", JPEG_HEAD + "\xFF\xFE\xFF\xFF" + SVG},
      // A GIF whose 2 x 2 image has an impossible code size, then a 20000 x 20000 one, which the
      // codec takes up when the first fails, past anything a header reader can follow.
      {"second-image.gif", "GIF89a" + le16s(2) + le16s(2) + std::string("\x80\0\0\xFF\0\0\0\0\xFF", 9) + "," +
                               le16s(0) + le16s(0) + le16s(2) + le16s(2) + std::string("\0\x0D\x02\0\0\0", 6) + "," +
                               le16s(0) + le16s(0) + le16s(20000) + le16s(20000) +
                               std::string("\0\x02\x02\x4C\x01\0;", 7)},
  };
}

// 69 bytes, found by the photo fuzzer, on which SDL_image's GIF loader (2.6) writes outside its
// buffers and crashes: a GIF of 609 x 255 whose LZW data runs past the picture.
inline std::string crashing_gif() {
  return std::string("GIF89a\x02\x20\x01\x00\x00\x02\x00\x2C\x00\x00\x00\x40\x61\x02\xFF\x00\x00\x02\x2C\x00", 26) +
         std::string(10, '\xA9') + std::string("\x4D\x00\x3B\x3B\x3B\xAA\xAA\xAA\x4D\x00\x3B\x3B\x3B\xAA\xAA\xAA\x00\x00\x7F", 19) +
         std::string("\x70\xBA\x4B\x72\xB4\x3B\x3B\xAA\xAA\xAA\x42\x4D\x00\x3B", 14);
}

}  // namespace hostile
