// The file loader: whatever the platform's codecs read, at the image's own size.
#include <SDL_image.h>

#include "photos/image_codecs.h"
#include "photos/texture_loaders.h"

TextureImage decode_file_texture(const std::string& path) {
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
