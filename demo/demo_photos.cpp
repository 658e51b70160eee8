// demo_photos DIR: writes the demo's photo files into DIR/hall.photo/, each in the file type its
// catalogue name promises: real JPEG, PNG (RGB, RGBA and palette) and GIF with transparency.
#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "demo/photo_list.h"
#include "demo/photo_painter.h"

namespace fs = std::filesystem;

namespace {

struct SurfaceDeleter {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

Surface wrap(Picture& p) {
  return Surface(SDL_CreateRGBSurfaceWithFormatFrom(p.rgba.data(), p.width, p.height, 32, p.width * 4,
                                                    SDL_PIXELFORMAT_RGBA32));
}

// 6 × 7 × 6 levels of red, green and blue: 252 colours that hold white and near-black exactly
// enough for the digits.
Surface to_palette(const Picture& p) {
  Surface s(SDL_CreateRGBSurfaceWithFormat(0, p.width, p.height, 8, SDL_PIXELFORMAT_INDEX8));
  if (!s) return s;
  SDL_Color colours[256] = {};
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 7; ++g)
      for (int b = 0; b < 6; ++b)
        colours[(r * 7 + g) * 6 + b] = {static_cast<Uint8>(r * 51), static_cast<Uint8>(g * 255 / 6),
                                        static_cast<Uint8>(b * 51), 255};
  SDL_SetPaletteColors(s->format->palette, colours, 0, 256);
  for (int y = 0; y < p.height; ++y) {
    auto* row = static_cast<Uint8*>(s->pixels) + static_cast<size_t>(y) * s->pitch;
    for (int x = 0; x < p.width; ++x) {
      const uint8_t* px = &p.rgba[(static_cast<size_t>(y) * p.width + x) * 4];
      const int r = (px[0] * 5 + 127) / 255, g = (px[1] * 6 + 127) / 255, b = (px[2] * 5 + 127) / 255;
      row[x] = static_cast<Uint8>((r * 7 + g) * 6 + b);
    }
  }
  return s;
}

std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool save(const DemoPhoto& photo, const fs::path& path) {
  const bool alpha = photo.type == PhotoType::PngAlpha || photo.type == PhotoType::Gif;
  Picture picture = paint_photo(photo.index, photo.width, photo.height, alpha && photo.type != PhotoType::Gif,
                                photo.type == PhotoType::Gif);
  Surface rgba = wrap(picture);
  if (!rgba) return false;
  switch (photo.type) {
    case PhotoType::Jpeg: {
      Surface rgb(SDL_ConvertSurfaceFormat(rgba.get(), SDL_PIXELFORMAT_RGB24, 0));
      return rgb && IMG_SaveJPG(rgb.get(), path.c_str(), 90) == 0;
    }
    case PhotoType::Png: {
      Surface rgb(SDL_ConvertSurfaceFormat(rgba.get(), SDL_PIXELFORMAT_RGB24, 0));
      return rgb && IMG_SavePNG(rgb.get(), path.c_str()) == 0;
    }
    case PhotoType::PngAlpha:
      return IMG_SavePNG(rgba.get(), path.c_str()) == 0;
    case PhotoType::PngPalette: {
      Surface indexed = to_palette(picture);
      return indexed && IMG_SavePNG(indexed.get(), path.c_str()) == 0;
    }
    case PhotoType::Gif: {
      // SDL_image writes no GIF; ImageMagick turns the cut-out PNG into one with a transparent colour.
      const fs::path source = path.string() + ".source.png";
      if (IMG_SavePNG(rgba.get(), source.c_str()) != 0) return false;
      const std::string command = "convert " + shell_quote(source.string()) + " " + shell_quote(path.string());
      const bool ok = std::system(command.c_str()) == 0;
      fs::remove(source);
      return ok;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demo_photos DIR   (writes DIR/hall.photo/)\n");
    return 2;
  }
  const fs::path dir = fs::path(argv[1]) / "hall.photo";
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "demo_photos: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
    return 1;
  }
  for (const DemoPhoto& photo : DEMO_PHOTOS) {
    const fs::path path = dir / demo_photo_file(photo);
    if (!save(photo, path)) {
      std::fprintf(stderr, "demo_photos: cannot write %s: %s\n", path.c_str(), SDL_GetError());
      return 1;
    }
  }
  return 0;
}
