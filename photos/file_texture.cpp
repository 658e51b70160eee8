// The file loader: a PNG, JPEG, GIF or BMP file (photos/image_format.h), decoded by the platform's
// codec for its format, at the image's own size. PNG files go
// through our own decoder first, which is faster than the codecs' (bench/png); a PNG it refuses
// goes to the codecs like any other file, so nothing that loaded before stops loading, except one
// refused as too large, which the codecs would take only to run out of memory, and one that ends
// before its image data, on which they hang.
#include <cstring>
#include <string>
#include <vector>

#include "photos/image_codecs.h"
#include "photos/image_size.h"
#include "photos/photo_file.h"
#include "photos/texture_loaders.h"
#include "png/png_chunks.h"
#include "png/png_decode.h"

namespace {

// The codecs apply a colour key (tRNS) of a greyscale image, and of a 16-bit RGB one, in their own
// way, not by the format's rule as our decoder does; those rare files stay with the codecs, so
// that every photo looks as it did.
bool codecs_key_differently(const PngInfo& info) {
  return info.key_defined && (info.colour_type == 0 || info.bit_depth == 16);
}

// Turns the rows of a width × height RGBA image over where they are.
void turn_over_in_place(std::vector<uint8_t>& pixels, uint32_t width, uint32_t height) {
  const size_t row_bytes = size_t(width) * 4;
  std::vector<uint8_t> scratch(row_bytes);
  for (uint32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = pixels.data() + size_t(top) * row_bytes;
    uint8_t* b = pixels.data() + size_t(bottom) * row_bytes;
    std::memcpy(scratch.data(), a, row_bytes);
    std::memcpy(a, b, row_bytes);
    std::memcpy(b, scratch.data(), row_bytes);
  }
}

}  // namespace

TextureImage decode_file_texture(const std::string& path, std::vector<uint8_t> storage) {
  // The file is read once; its header is checked before any decoder allocates for it. A size the
  // header does not tell (no frame header before a JPEG's scan) is no size to check: refused too.
  const std::vector<uint8_t> bytes = read_photo_file(path);
  const ImageSize size = image_size(bytes);
  if (bytes.empty() || size.width == 0 || size.height == 0 || too_large_to_decode(size)) return {};
  if (size.format == ImageFormat::Png) {
    PngInfo info;
    std::vector<uint8_t> pixels = std::move(storage);  // whatever a failure leaves is not used
    const uint32_t code = png_decode(bytes, info, pixels);
    if (code == PNG_IMAGE_TOO_LARGE) return {};  // the codecs would only ask for as much
    // libpng inside the codecs loops for ever on a file that ends inside an ancillary chunk before
    // the image data (a CRC warning, then the same chunk read again from nothing); such a file has
    // nothing any codec could show.
    if (code != 0 && !reaches_image_data(bytes)) return {};
    // Top row first from the decoder, bottom first for GL.
    if (code == 0 && info.width != 0 && info.height != 0 && !codecs_key_differently(info)) {
      turn_over_in_place(pixels, info.width, info.height);
      return TextureImage{TextureImage::Kind::FileTexture, info.width, info.height, std::move(pixels)};
    }
  }
  SurfacePtr loaded = load_image_bytes(bytes, size.format);
  SurfacePtr rgba = to_rgba32(loaded.get());
  if (!rgba) return {};  // no codec for it, or a broken file: nothing to upload
  return bottom_first_image(*rgba, TextureImage::Kind::FileTexture);
}

void upload_file_texture(const TextureImage& image, uint32_t name) { upload_texture_image(image, name); }

void load_file_texture(const std::string& path, uint32_t name) {
  upload_file_texture(decode_file_texture(path), name);
}
