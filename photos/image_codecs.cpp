#include "photos/image_codecs.h"

#include <SDL_image.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

#include "photos/cmyk_jpeg.h"
#include "photos/gif_decode.h"
#include "photos/image_size.h"

namespace {

// The most one SDL allocation may take on this thread; no limit outside a codec's decode.
//
// The loaders check a photo's size from its header before any codec sees it, and the header readers
// (photos/image_size.cpp) follow each format as its codec does. But a codec may read further than
// any header reader can follow: SDL_image's GIF loader, when an image fails to decode, goes on to
// the next image descriptor it meets, wherever its LZW reading stopped, and allocates for that one.
// So while a codec decodes, each of SDL's allocations (every surface) is also held to what the
// header allowed: whatever a codec finds further on, it gets no more memory than the size checked.
thread_local uint64_t allowance = UINT64_MAX;

// Row padding, palettes, a codec's own buffers: what a decode asks beyond its RGBA pixels.
constexpr uint64_t CODEC_SLACK = uint64_t(1) << 20;

SDL_malloc_func next_malloc;
SDL_calloc_func next_calloc;
SDL_realloc_func next_realloc;
SDL_free_func next_free;

void* held_malloc(size_t n) { return n > allowance ? nullptr : next_malloc(n); }
void* held_calloc(size_t count, size_t n) {
  return count != 0 && n > allowance / count ? nullptr : next_calloc(count, n);
}
void* held_realloc(void* p, size_t n) { return n > allowance ? nullptr : next_realloc(p, n); }

// The allowance for the decode in this scope.
class Allowance {
 public:
  explicit Allowance(uint64_t bytes) { allowance = bytes; }
  ~Allowance() { allowance = UINT64_MAX; }
  Allowance(const Allowance&) = delete;
  Allowance& operator=(const Allowance&) = delete;
};

}  // namespace

void init_image_codecs() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Whatever codecs are missing are simply not available: their loads then fail.
    IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG);
    // The held functions forward to the ones before them, frees included, so memory SDL took
    // before this point is still given back where it came from.
    SDL_GetMemoryFunctions(&next_malloc, &next_calloc, &next_realloc, &next_free);
    SDL_SetMemoryFunctions(held_malloc, held_calloc, held_realloc, next_free);
  });
}

SurfacePtr load_image_bytes(std::span<const uint8_t> bytes, ImageFormat format) {
  const ImageSize size = image_size(bytes);
  if (size.format != format || too_large_to_decode(size)) return nullptr;
  init_image_codecs();
  const Allowance held(rgba_bytes(size.width, size.height) + CODEC_SLACK);
  if (format == ImageFormat::Jpeg)
    if (std::optional<SurfacePtr> cmyk = decode_cmyk_jpeg(bytes)) return std::move(*cmyk);
  if (format == ImageFormat::Gif) return decode_gif(bytes);  // giflib, not SDL_image: photos/gif_decode.h
  SDL_Surface* (*codec)(SDL_RWops*) = nullptr;
  switch (format) {
    case ImageFormat::Jpeg: codec = IMG_LoadJPG_RW; break;
    case ImageFormat::Png: codec = IMG_LoadPNG_RW; break;
    case ImageFormat::Bmp: codec = IMG_LoadBMP_RW; break;
    case ImageFormat::Gif:
    case ImageFormat::Unknown: return nullptr;
  }
  if (bytes.size() > size_t(INT_MAX)) return nullptr;
  SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
  if (!stream) return nullptr;
  SurfacePtr surface(codec(stream));
  SDL_RWclose(stream);
  // A picture larger than its header said (a GIF's later image) is not the photo that was checked,
  // and its conversion to RGBA would take more again.
  if (surface && (uint32_t(surface->w) > size.width || uint32_t(surface->h) > size.height)) return nullptr;
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
