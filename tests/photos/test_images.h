#pragma once
// Image files made by the tests themselves, in the formats the loaders meet: PNG and JPEG through
// SDL_image, BMP through SDL, small GIFs written by hand and photo-sized ones through giflib.
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace teximg {

struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 255;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};
std::ostream& operator<<(std::ostream& out, const Rgba& c);

// A picture as a function of (x, y), y from the top.
using Painter = std::function<Rgba(int x, int y)>;

bool write_png(const std::string& path, int width, int height, const Painter& paint);
bool write_jpeg(const std::string& path, int width, int height, const Painter& paint, int quality = 95);
// A four-channel JPEG through libjpeg, as print software writes one: the painted colours turned
// into ink by the usual undercolour rule (K = 1 − max(R, G, B)), stored as YCCK or as plain CMYK,
// with Adobe's marker and its inverted channels or, without the marker, the ink amounts as they are.
struct CmykJpeg {
  bool ycck = false;
  bool adobe_marker = true;
};
bool write_cmyk_jpeg(const std::string& path, int width, int height, const Painter& paint, CmykJpeg how,
                     int quality = 95);
bool write_bmp(const std::string& path, int width, int height, const Painter& paint);
// A GIF of palette indexes (row-major, top row first), the palette at most 4 colours, `transparent`
// the index drawn as see-through, or -1 for none.
bool write_gif(const std::string& path, int width, int height, const std::vector<Rgba>& palette,
               const std::vector<uint8_t>& indexes, int transparent);
// A photograph as a GIF is made: the painted colours quantized to 256 (three bits of red and of
// green, two of blue) and compressed by giflib's LZW encoder as image programs do. write_gif's
// streams, with a clear code before every pair of pixels, make any decoder rebuild its table all
// the time, ten times as slow as on a real GIF: benchmarks use this one.
// Interlaced, its rows are stored in the format's four passes.
bool write_photo_gif(const std::string& path, int width, int height, const Painter& paint, bool interlaced = false);
bool write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The pixel at (x, y), y from the top, of a bottom-row-first RGBA buffer `width` wide and `height` high.
Rgba pixel_from_top(const std::vector<uint8_t>& bottom_first, uint32_t width, uint32_t height, uint32_t x,
                    uint32_t y);
// Every channel within `tolerance`.
bool near(Rgba a, Rgba b, int tolerance);

}  // namespace teximg
