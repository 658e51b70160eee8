#include "photos/image_codecs.h"

#include <SDL_image.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

#include "photos/cmyk_jpeg.h"

void init_image_codecs() {
  static std::once_flag once;
  // Whatever codecs are missing are simply not available: IMG_Load then fails for those files.
  std::call_once(once, [] { IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG | IMG_INIT_TIF | IMG_INIT_WEBP); });
}

SurfacePtr load_image_bytes(std::span<const uint8_t> bytes, ImageFormat format) {
  if (format == ImageFormat::Jpeg)
    if (std::optional<SurfacePtr> cmyk = decode_cmyk_jpeg(bytes)) return std::move(*cmyk);
  SDL_Surface* (*codec)(SDL_RWops*) = nullptr;
  switch (format) {
    case ImageFormat::Jpeg: codec = IMG_LoadJPG_RW; break;
    case ImageFormat::Png: codec = IMG_LoadPNG_RW; break;
    case ImageFormat::Gif: codec = IMG_LoadGIF_RW; break;
    case ImageFormat::Bmp: codec = IMG_LoadBMP_RW; break;
    case ImageFormat::Unknown: return nullptr;
  }
  if (bytes.size() > size_t(INT_MAX)) return nullptr;
  init_image_codecs();
  SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
  if (!stream) return nullptr;
  SurfacePtr surface(codec(stream));
  SDL_RWclose(stream);
  return surface;
}

SurfacePtr to_rgba32(SDL_Surface* surface) {
  if (!surface) return nullptr;
  return SurfacePtr(SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_RGBA32, 0));
}

TextureImage bottom_first_image(const uint8_t* top_first, uint32_t width, uint32_t height, size_t pitch,
                                TextureImage::Kind kind) {
  TextureImage image;
  image.kind = kind;
  image.width = width;
  image.height = height;
  const size_t row_bytes = size_t(width) * 4;
  image.pixels.resize(row_bytes * height);
  for (uint32_t y = 0; y < height; ++y)
    std::memcpy(image.pixels.data() + size_t(height - 1 - y) * row_bytes, top_first + size_t(y) * pitch, row_bytes);
  return image;
}

TextureImage bottom_first_image(const SDL_Surface& rgba, TextureImage::Kind kind) {
  if (rgba.w <= 0 || rgba.h <= 0 || rgba.format->format != SDL_PIXELFORMAT_RGBA32) return {};
  return bottom_first_image(static_cast<const uint8_t*>(rgba.pixels), uint32_t(rgba.w), uint32_t(rgba.h),
                            size_t(rgba.pitch), kind);
}
