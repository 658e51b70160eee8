// Notes: libjpeg reports a fatal error by calling back, and the callback must not return: it jumps
// back with longjmp, so the functions that set the jump point hold nothing with a destructor.
#include "photos/open_photo_decode.h"

#include <jpeglib.h>

#include <climits>
#include <csetjmp>
#include <cstdio>

#include "photos/area_shrink.h"
#include "photos/cmyk_jpeg.h"
#include "photos/image_size.h"
#include "photos/mip_chain.h"
#include "photos/photo_orientation.h"
#include "png/png_decode.h"
#include "png/read_file_bytes.h"

namespace {

// A picture as decoded, top row first, before it is shrunk and turned.
struct Decoded {
  PixelSize size;
  std::vector<uint8_t> rgba;
};

struct JpegError {
  jpeg_error_mgr mgr;  // first: libjpeg hands back a pointer to it
  std::jmp_buf escape;
};

[[noreturn]] void escape(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->escape, 1); }
void no_message(j_common_ptr) {}

bool four_channels(const jpeg_decompress_struct& info) {
  return info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
}

// Reads the header and sets the DCT scaling and the output colours; the output size is then known.
bool start_jpeg(jpeg_decompress_struct& info, JpegError& error, std::span<const uint8_t> bytes, PixelSize target) {
  if (setjmp(error.escape)) return false;
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.scale_num = 1;
  info.scale_denom = jpeg_scale_denominator({info.image_width, info.image_height}, target);
  info.out_color_space = four_channels(info) ? JCS_CMYK : JCS_EXT_RGBA;
  jpeg_calc_output_dimensions(&info);
  return info.output_components == 4;
}

bool read_jpeg_rows(jpeg_decompress_struct& info, JpegError& error, uint8_t* pixels) {
  if (setjmp(error.escape)) return false;
  jpeg_start_decompress(&info);
  const size_t row_bytes = size_t(info.output_width) * 4;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels + size_t(info.output_scanline) * row_bytes;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
  }
  jpeg_finish_decompress(&info);
  return true;
}

// `target` is the texture's size in the file's own orientation.
Decoded decode_jpeg(std::span<const uint8_t> bytes, PixelSize target) {
  Decoded decoded;
  if (bytes.size() > ULONG_MAX) return decoded;
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.mgr);
  error.mgr.error_exit = escape;
  error.mgr.output_message = no_message;
  jpeg_create_decompress(&info);
  if (start_jpeg(info, error, bytes, target) &&
      rgba_bytes(info.output_width, info.output_height) <= PHOTO_DECODED_LIMIT) {
    decoded.size = {info.output_width, info.output_height};
    decoded.rgba.resize(size_t(info.output_width) * info.output_height * 4);
    if (!read_jpeg_rows(info, error, decoded.rgba.data())) {
      decoded = {};
    } else if (info.out_color_space == JCS_CMYK) {
      cmyk_rows_to_rgba(decoded.rgba.data(), decoded.size.width, decoded.size.height, size_t(decoded.size.width) * 4,
                        info.saw_Adobe_marker);
    }
  }
  jpeg_destroy_decompress(&info);
  return decoded;
}

Decoded decode_png(std::span<const uint8_t> bytes) {
  Decoded decoded;
  PngInfo info;
  if (png_decode(bytes, info, decoded.rgba) != 0 || info.width == 0 || info.height == 0) return {};
  decoded.size = {info.width, info.height};
  return decoded;
}

PixelSize stored_orientation(PixelSize upright, uint8_t orientation) {
  return orientation_swaps_sides(orientation) ? PixelSize{upright.height, upright.width} : upright;
}

}  // namespace

uint64_t OpenPhotoImage::bytes() const {
  uint64_t total = 0;
  for (const auto& level : levels) total += level.size();
  return total;
}

PixelSize open_photo_decoded_size(const OpenPhotoHeader& header, uint32_t long_side) {
  return open_photo_texture_size(header.width(), header.height(), long_side);
}

uint64_t open_photo_decode_peak_bytes(const OpenPhotoHeader& header, uint32_t long_side, uint64_t file_bytes) {
  const PixelSize size = open_photo_decoded_size(header, long_side);
  const PixelSize stored = stored_orientation(size, header.orientation);
  const uint32_t denominator = header.format == ImageFormat::Jpeg
                                   ? jpeg_scale_denominator({header.stored_width, header.stored_height}, stored)
                                   : 1;
  const uint64_t decoded = rgba_bytes((header.stored_width + denominator - 1) / denominator,
                                      (header.stored_height + denominator - 1) / denominator);
  // The decode, its shrunk copy and that copy turned (the one becomes level 0), and the levels below.
  return file_bytes + decoded + 2 * rgba_bytes(size.width, size.height) + mipmapped_bytes(size) / 3;
}

OpenPhotoImage decode_open_photo_bytes(std::span<const uint8_t> bytes, uint32_t long_side) {
  const OpenPhotoHeader header = read_open_photo_header(bytes);
  if (!header.usable()) return {};
  const PixelSize size = open_photo_decoded_size(header, long_side);
  const PixelSize stored = stored_orientation(size, header.orientation);
  Decoded decoded;
  if (header.format == ImageFormat::Jpeg) {
    decoded = decode_jpeg(bytes, stored);
  } else if (rgba_bytes(header.stored_width, header.stored_height) <= PHOTO_DECODED_LIMIT) {
    decoded = decode_png(bytes);
  }
  // A header that disagrees with the picture (a frame header the codec did not use) gives no image
  // rather than a shape the layer was not planned for.
  if (decoded.rgba.empty() || decoded.size.width < stored.width || decoded.size.height < stored.height) return {};
  std::vector<uint8_t> shrunk;
  const uint8_t* pixels = decoded.rgba.data();
  if (decoded.size != stored) {
    shrunk.resize(size_t(stored.width) * stored.height * 4);
    shrink_by_area(decoded.rgba.data(), decoded.size.width, decoded.size.height, size_t(decoded.size.width) * 4,
                   shrunk.data(), stored.width, stored.height);
    decoded.rgba = {};
    pixels = shrunk.data();
  }
  std::vector<uint8_t> upright(size_t(size.width) * size.height * 4);
  orient_bottom_first(pixels, stored.width, stored.height, header.orientation, upright.data());
  return {size, build_mip_chain(std::move(upright), size)};
}

OpenPhotoImage decode_open_photo(const std::string& path, uint32_t long_side) {
  // Larger than any photo a camera writes; a file beyond it (or a device that never ends) is
  // refused unread.
  constexpr size_t FILE_LIMIT = size_t(256) << 20;
  return decode_open_photo_bytes(read_file_bytes(path, FILE_LIMIT), long_side);
}
