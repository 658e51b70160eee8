#include "tools/capture/frame_png.h"

#include <png.h>

#include <algorithm>
#include <cstdio>

bool write_frame_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
  if (width <= 0 || height <= 0 || rgba.size() != static_cast<size_t>(width) * height * 4) return false;
  return write_png_rows(path, width, height, [&](int y, uint8_t* out) {
    std::copy_n(rgba.data() + static_cast<size_t>(y) * width * 4, static_cast<size_t>(width) * 4, out);
    return true;
  });
}

bool write_png_rows(const std::string& path, int width, int height,
                    const std::function<bool(int y, uint8_t* out)>& row) {
  if (width <= 0 || height <= 0) return false;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> buffer(static_cast<size_t>(width) * 4);
  bool written = false;
  if (info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    int y = 0;
    for (; y < height && row(y, buffer.data()); ++y) png_write_row(png, buffer.data());
    if (y == height) {
      png_write_end(png, nullptr);
      written = true;
    }
  }
  png_destroy_write_struct(&png, &info);
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}
