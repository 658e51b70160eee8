// CMYK and YCCK JPEGs through libjpeg-turbo.
//
// Notes on the format: a four-channel JPEG holds CMYK either as it is or, when its Adobe marker
// says so, through the YCCK transform, which libjpeg undoes on the way out. Adobe's applications,
// which write nearly all such files, store the channels inverted (0 is full ink), and every
// viewer reads a file with the Adobe marker that way; a file without the marker holds plain ink
// amounts. libjpeg reports which (saw_Adobe_marker). Light is then what the ink lets through:
// R = (1 − C)(1 − K), and so on; no colour profile is applied.
//
// libjpeg reports a fatal error by calling back, and the callback must not return: it jumps back
// with longjmp. The functions that set the jump point hold nothing with a destructor, so nothing
// is skipped on the way back.
#include "photos/cmyk_jpeg.h"

#include <jpeglib.h>

#include <climits>
#include <csetjmp>
#include <cstdio>

#include "photos/image_format.h"

namespace {

struct ErrorExit {
  jpeg_error_mgr mgr;  // first: libjpeg hands back a pointer to it
  std::jmp_buf escape;
};

[[noreturn]] void escape(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->escape, 1); }

// Warnings (a truncated file, a bad marker) are not reported: the show writes no log, and the
// picture shows whatever part of it decoded, as with every other JPEG.
void no_message(j_common_ptr) {}

enum class Start { NotFourChannels, Broken, Started };

Start start_decoding(jpeg_decompress_struct& info, ErrorExit& error, std::span<const uint8_t> bytes) {
  volatile bool four_channels = false;
  if (setjmp(error.escape)) return four_channels ? Start::Broken : Start::NotFourChannels;
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  if (info.num_components != 4 || (info.jpeg_color_space != JCS_CMYK && info.jpeg_color_space != JCS_YCCK))
    return Start::NotFourChannels;
  four_channels = true;
  info.out_color_space = JCS_CMYK;  // YCCK is turned back into CMYK by libjpeg
  jpeg_start_decompress(&info);
  return info.output_components == 4 ? Start::Started : Start::Broken;
}

// The CMYK samples straight into the surface's rows, four bytes a pixel like the RGBA they become.
bool read_rows(jpeg_decompress_struct& info, ErrorExit& error, SDL_Surface& target) {
  if (setjmp(error.escape)) return false;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = static_cast<JSAMPLE*>(target.pixels) + size_t(info.output_scanline) * target.pitch;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

uint8_t light(unsigned ink_left, unsigned black_left) { return uint8_t((ink_left * black_left + 127) / 255); }

}  // namespace

void cmyk_rows_to_rgba(uint8_t* pixels, uint32_t width, uint32_t height, size_t pitch, bool adobe_inverted) {
  // What each ink lets through: the stored value itself when inverted, its complement otherwise.
  const unsigned flip = adobe_inverted ? 0 : 255;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* p = pixels + size_t(y) * pitch;
    for (uint32_t x = 0; x < width; ++x, p += 4) {
      const unsigned c = p[0] ^ flip, m = p[1] ^ flip, yellow = p[2] ^ flip, k = p[3] ^ flip;
      p[0] = light(c, k);
      p[1] = light(m, k);
      p[2] = light(yellow, k);
      p[3] = 255;
    }
  }
}

std::optional<SurfacePtr> decode_cmyk_jpeg(std::span<const uint8_t> bytes) {
  if (sniff_image_format(bytes) != ImageFormat::Jpeg || bytes.size() > ULONG_MAX) return std::nullopt;
  jpeg_decompress_struct info;
  ErrorExit error;
  info.err = jpeg_std_error(&error.mgr);
  error.mgr.error_exit = escape;
  error.mgr.output_message = no_message;
  jpeg_create_decompress(&info);

  std::optional<SurfacePtr> result;
  switch (start_decoding(info, error, bytes)) {
    case Start::NotFourChannels: break;
    case Start::Broken: result.emplace(); break;
    case Start::Started: {
      SurfacePtr surface(SDL_CreateRGBSurfaceWithFormat(0, int(info.output_width), int(info.output_height), 32,
                                                        SDL_PIXELFORMAT_RGBA32));
      if (surface && read_rows(info, error, *surface)) {
        cmyk_rows_to_rgba(static_cast<uint8_t*>(surface->pixels), uint32_t(surface->w), uint32_t(surface->h),
                          size_t(surface->pitch), info.saw_Adobe_marker);
      } else {
        surface.reset();
      }
      result = std::move(surface);
      break;
    }
  }
  jpeg_destroy_decompress(&info);
  return result;
}
