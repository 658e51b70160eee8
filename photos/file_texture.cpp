// The file loader: whatever the platform's codecs read, at the image's own size. PNG files go
// through our own decoder first, which is faster than the codecs' (bench/png); a PNG it refuses
// goes to the codecs like any other file, so nothing that loaded before stops loading.
#include <SDL_image.h>

#include <fstream>

#include "photos/image_codecs.h"
#include "photos/image_format.h"
#include "photos/texture_loaders.h"
#include "png/png_decode.h"
#include "png/read_file_bytes.h"

namespace {

// Told by content, as the codecs tell it; only the signature is read here, so other files are
// read once, by the codecs.
bool is_png_file(const std::string& path) {
  uint8_t head[8] = {};
  std::ifstream file(path, std::ios::binary);
  file.read(reinterpret_cast<char*>(head), sizeof head);
  return file.gcount() == sizeof head && sniff_image_format(head) == ImageFormat::Png;
}

// The codecs apply a colour key (tRNS) of a greyscale image, and of a 16-bit RGB one, in their own
// way, not by the format's rule as our decoder does; those rare files stay with the codecs, so
// that every photo looks as it did.
bool codecs_key_differently(const PngInfo& info) {
  return info.key_defined && (info.colour_type == 0 || info.bit_depth == 16);
}

// Kind::None when the decoder returns a non-zero code, or the codecs are to decode the file.
TextureImage decode_png_file(const std::string& path) {
  PngInfo info;
  std::vector<uint8_t> pixels;
  if (png_decode(read_file_bytes(path), info, pixels) != 0 || info.width == 0 || info.height == 0 ||
      codecs_key_differently(info))
    return {};
  // Top row first from the decoder, bottom first for GL.
  return bottom_first_image(pixels.data(), info.width, info.height, size_t(info.width) * 4,
                            TextureImage::Kind::FileTexture);
}

}  // namespace

TextureImage decode_file_texture(const std::string& path) {
  if (is_png_file(path))
    if (TextureImage image = decode_png_file(path); image.kind != TextureImage::Kind::None) return image;
  init_image_codecs();
  SurfacePtr loaded = load_image_file(path);
  SurfacePtr rgba = to_rgba32(loaded.get());
  if (!rgba) return {};  // no such file, no codec for it, or a broken file: nothing to upload
  return bottom_first_image(*rgba, TextureImage::Kind::FileTexture);
}

void upload_file_texture(const TextureImage& image, uint32_t name) { upload_texture_image(image, name); }

void load_file_texture(const std::string& path, uint32_t name) {
  upload_file_texture(decode_file_texture(path), name);
}
