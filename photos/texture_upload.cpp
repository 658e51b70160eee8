// The three uploads side by side. They differ on purpose, and each difference shows in the show:
//
//                        file texture            picture                 PNG fallback
//   enable TEXTURE_2D    no                      yes                     yes
//   size                 the image's own         S × S                   powers of two
//   internal format      4                       GL_RGBA                 4
//   parameters, in order MIN, MAG LINEAR,        MAG, MIN LINEAR         MAG, MIN LINEAR
//                        WRAP_S, WRAP_T CLAMP    (edges repeat)          (edges repeat)
//
// No path builds mipmaps: the linear minification filter needs none. The texture stays bound.
#include <GL/gl.h>

#include <climits>

#include "photos/packed_unpacking.h"
#include "photos/texture_loaders.h"

namespace {

void tex_image_packed(GLint internal_format, const TextureImage& image) {
  const PackedUnpacking packed;
  glTexImage2D(GL_TEXTURE_2D, 0, internal_format, GLsizei(image.width), GLsizei(image.height), 0, GL_RGBA,
               GL_UNSIGNED_BYTE, image.pixels.data());
}

bool uploadable(const TextureImage& image) {
  if (image.kind == TextureImage::Kind::None) return false;
  if (image.width == 0 || image.height == 0 || image.width > INT_MAX || image.height > INT_MAX) return false;
  return image.pixels.size() / 4 / image.width == image.height && image.pixels.size() % (size_t(image.width) * 4) == 0;
}

}  // namespace

void upload_texture_image(const TextureImage& image, uint32_t name) {
  if (!uploadable(image)) return;
  switch (image.kind) {
    case TextureImage::Kind::FileTexture:
      glBindTexture(GL_TEXTURE_2D, name);
      tex_image_packed(4, image);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
      break;
    case TextureImage::Kind::Picture:
    case TextureImage::Kind::PngFallback:
      glEnable(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D, name);
      tex_image_packed(image.kind == TextureImage::Kind::Picture ? GL_RGBA : 4, image);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      break;
    case TextureImage::Kind::None:
      break;
  }
}
