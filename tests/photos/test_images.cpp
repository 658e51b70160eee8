#include "tests/photos/test_images.h"

#include <SDL.h>
#include <SDL_image.h>

#include <gif_lib.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace teximg {

namespace {

struct SurfaceFree {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

Surface paint_surface(int width, int height, const Painter& paint, bool alpha) {
  Surface s(SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, alpha ? SDL_PIXELFORMAT_RGBA32 : SDL_PIXELFORMAT_RGB24));
  if (!s) return s;
  for (int y = 0; y < height; ++y) {
    auto* row = static_cast<uint8_t*>(s->pixels) + size_t(y) * s->pitch;
    for (int x = 0; x < width; ++x) {
      const Rgba c = paint(x, y);
      uint8_t* p = row + size_t(x) * (alpha ? 4 : 3);
      p[0] = c.r, p[1] = c.g, p[2] = c.b;
      if (alpha) p[3] = c.a;
    }
  }
  return s;
}

// GIF's variable-length codes, packed least significant bit first into 255-byte sub-blocks.
struct BitWriter {
  std::vector<uint8_t> bytes;
  uint32_t buffer = 0;
  int count = 0;
  void put(uint32_t code, int width) {
    buffer |= code << count;
    count += width;
    while (count >= 8) {
      bytes.push_back(uint8_t(buffer));
      buffer >>= 8;
      count -= 8;
    }
  }
  void flush() {
    if (count > 0) bytes.push_back(uint8_t(buffer));
    buffer = 0, count = 0;
  }
};

void put16(std::vector<uint8_t>& out, int v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

}  // namespace

bool write_png(const std::string& path, int width, int height, const Painter& paint) {
  Surface s = paint_surface(width, height, paint, true);
  return s && IMG_SavePNG(s.get(), path.c_str()) == 0;
}

bool write_jpeg(const std::string& path, int width, int height, const Painter& paint, int quality) {
  Surface s = paint_surface(width, height, paint, false);
  return s && IMG_SaveJPG(s.get(), path.c_str(), quality) == 0;
}

namespace {

struct JpegEscape {
  jpeg_error_mgr mgr;
  std::jmp_buf escape;
};

[[noreturn]] void jpeg_escape(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegEscape*>(info->err)->escape, 1); }

// The compression itself, with nothing that has a destructor: a libjpeg error comes back by longjmp.
bool compress_cmyk(jpeg_compress_struct& info, JpegEscape& error, std::FILE* out, std::vector<uint8_t>& cmyk, int width,
                   int height, CmykJpeg how, int quality) {
  if (setjmp(error.escape)) return false;
  jpeg_stdio_dest(&info, out);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, how.ycck ? JCS_YCCK : JCS_CMYK);
  info.write_Adobe_marker = how.adobe_marker;
  // Full resolution in every channel, so that only the colour conversion can move a colour far.
  for (int i = 0; i < info.num_components; ++i) info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = cmyk.data() + size_t(info.next_scanline) * width * 4;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  return true;
}

}  // namespace

bool write_cmyk_jpeg(const std::string& path, int width, int height, const Painter& paint, CmykJpeg how, int quality) {
  std::vector<uint8_t> cmyk(size_t(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgba c = paint(x, y);
      const int most = std::max({c.r, c.g, c.b});
      const int k = 255 - most;
      uint8_t* p = &cmyk[(size_t(y) * width + x) * 4];
      for (int i = 0; i < 3; ++i) {
        const int light = i == 0 ? c.r : i == 1 ? c.g : c.b;
        p[i] = uint8_t(most == 0 ? 0 : (255 * (most - light) + most / 2) / most);  // ink of this channel
      }
      p[3] = uint8_t(k);
      if (how.adobe_marker) {
        for (int i = 0; i < 4; ++i) p[i] = uint8_t(255 - p[i]);
      }
    }
  }
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  jpeg_compress_struct info;
  JpegEscape error;
  info.err = jpeg_std_error(&error.mgr);
  error.mgr.error_exit = jpeg_escape;
  jpeg_create_compress(&info);
  const bool written = compress_cmyk(info, error, out, cmyk, width, height, how, quality);
  jpeg_destroy_compress(&info);
  return std::fclose(out) == 0 && written;
}

bool write_bmp(const std::string& path, int width, int height, const Painter& paint) {
  Surface s = paint_surface(width, height, paint, false);
  return s && SDL_SaveBMP(s.get(), path.c_str()) == 0;
}

bool write_gif(const std::string& path, int width, int height, const std::vector<Rgba>& palette,
               const std::vector<uint8_t>& indexes, int transparent) {
  if (palette.empty() || palette.size() > 4 || indexes.size() != size_t(width) * height) return false;
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  put16(out, width);
  put16(out, height);
  out.push_back(0x91);  // a global table of 4 colours
  out.push_back(0);     // background index
  out.push_back(0);     // aspect
  for (size_t i = 0; i < 4; ++i) {
    const Rgba c = i < palette.size() ? palette[i] : Rgba{};
    out.insert(out.end(), {c.r, c.g, c.b});
  }
  // Graphic control extension: the transparent index.
  out.insert(out.end(), {0x21, 0xF9, 0x04, uint8_t(transparent >= 0 ? 1 : 0), 0, 0,
                         uint8_t(transparent >= 0 ? transparent : 0), 0});
  out.push_back(0x2C);
  put16(out, 0);
  put16(out, 0);
  put16(out, width);
  put16(out, height);
  out.push_back(0);  // no local table, not interlaced
  // LZW with 2-bit literals: a clear code before every pair of pixels keeps the dictionary (and so
  // the 3-bit code width) from ever growing, whatever the decoder's policy.
  constexpr uint32_t CLEAR = 4, END = 5;
  out.push_back(2);
  BitWriter bits;
  for (size_t i = 0; i < indexes.size(); ++i) {
    if (i % 2 == 0) bits.put(CLEAR, 3);
    bits.put(indexes[i], 3);
  }
  bits.put(END, 3);
  bits.flush();
  for (size_t at = 0; at < bits.bytes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, bits.bytes.size() - at);
    out.push_back(uint8_t(n));
    out.insert(out.end(), bits.bytes.begin() + long(at), bits.bytes.begin() + long(at + n));
  }
  out.push_back(0);
  out.push_back(0x3B);
  return write_bytes(path, out);
}

bool write_photo_gif(const std::string& path, int width, int height, const Painter& paint, bool interlaced) {
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return false;
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  if (!gif) return false;
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  for (int i = 0; i < 256; ++i)
    map->Colors[i] = {GifByteType((i >> 5) * 255 / 7), GifByteType(((i >> 2) & 7) * 255 / 7), GifByteType((i & 3) * 85)};
  bool ok = map && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, width, height, interlaced, nullptr) == GIF_OK;
  std::vector<GifPixelType> row(static_cast<size_t>(width));
  // Interlaced, the rows go in four passes: every eighth from 0, every eighth from 4, every fourth
  // from 2, every second from 1.
  std::vector<int> order;
  for (const auto& [first, step] : interlaced ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                                             : std::vector<std::pair<int, int>>{{0, 1}})
    for (int y = first; y < height; y += step) order.push_back(y);
  for (int y : order) {
    if (!ok) break;
    for (int x = 0; x < width; ++x) {
      const Rgba c = paint(x, y);
      row[size_t(x)] = GifPixelType((c.r >> 5) << 5 | (c.g >> 5) << 2 | c.b >> 6);
    }
    ok = EGifPutLine(gif, row.data(), width) == GIF_OK;
  }
  GifFreeMapObject(map);
  return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

bool write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(file);
}

Rgba pixel_from_top(const std::vector<uint8_t>& bottom_first, uint32_t width, uint32_t height, uint32_t x,
                    uint32_t y) {
  const uint8_t* p = bottom_first.data() + (size_t(height - 1 - y) * width + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

std::ostream& operator<<(std::ostream& out, const Rgba& c) {
  return out << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ", " << int(c.a) << ")";
}

bool near(Rgba a, Rgba b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance &&
         std::abs(a.a - b.a) <= tolerance;
}

}  // namespace teximg
