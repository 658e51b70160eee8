// libFuzzer target for the photo loaders: any bytes as a photo file, through the file loader (a
// PNG entry) and the picture loader (a JPEG entry), as the show decodes them. Never a crash; no
// codec asks SDL for more memory than the size check allowed from the header it read, so that a
// file of a format the show does not read never reaches a codec, however it begins (a TIFF, a
// WebP, an SVG after a JPEG's first bytes: the seeds hold one of every format the codecs read);
// and whatever comes out is a whole image.
//
// Input: a flag byte (bit 0: the file is named .tga, the one format the codecs would take by its
// name alone; otherwise .png), then the file's bytes.
#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "photos/image_format.h"
#include "photos/image_size.h"
#include "photos/texture_loaders.h"

namespace fs = std::filesystem;

namespace {

// SDL's allocations (every codec surface) are noted, and refused above this, which keeps a run fast
// and within the fuzzer's memory limit: a refused surface fails the decode as running out would.
constexpr size_t REFUSED_ABOVE = size_t(64) << 20;
// What a decode of a sound header may ask beyond its RGBA pixels: row padding, palettes, a codec's
// line buffers, the picture path's 64 × 64 square.
constexpr uint64_t SLACK = uint64_t(1) << 20;

std::atomic<size_t> largest{0};
SDL_malloc_func real_malloc;
SDL_calloc_func real_calloc;
SDL_realloc_func real_realloc;
SDL_free_func real_free;

void note(size_t bytes) {
  size_t seen = largest.load();
  while (bytes > seen && !largest.compare_exchange_weak(seen, bytes)) {
  }
}
void* capped_malloc(size_t n) {
  note(n);
  return n > REFUSED_ABOVE ? nullptr : real_malloc(n);
}
void* capped_calloc(size_t count, size_t n) {
  note(count != 0 && n > SIZE_MAX / count ? SIZE_MAX : count * n);
  return count != 0 && n > REFUSED_ABOVE / count ? nullptr : real_calloc(count, n);
}
void* capped_realloc(void* p, size_t n) {
  note(n);
  return n > REFUSED_ABOVE ? nullptr : real_realloc(p, n);
}

const fs::path& folder() {
  static const fs::path made = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/photo_fuzz_XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    SDL_GetMemoryFunctions(&real_malloc, &real_calloc, &real_realloc, &real_free);
    SDL_SetMemoryFunctions(capped_malloc, capped_calloc, capped_realloc, real_free);
    std::atexit([] { fs::remove_all(folder()); });
    return fs::path(pattern);
  }();
  return made;
}

void check_whole(const TextureImage& image) {
  if (image.kind == TextureImage::Kind::None) return;
  if (image.width == 0 || image.height == 0 || image.pixels.size() != uint64_t(image.width) * image.height * 4)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const fs::path path = folder() / ((data[0] & 1) ? "photo.tga" : "photo.png");
  const std::span<const uint8_t> bytes(data + 1, size - 1);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));

  const ImageSize header = image_size(bytes);
  const uint64_t allowed = header.format == ImageFormat::Unknown ? 0 : rgba_bytes(header.width, header.height);
  largest = 0;
  const TextureImage file = decode_file_texture(path.string());
  check_whole(file);
  const TextureImage picture = decode_picture_image(path.string(), 64);
  check_whole(picture);
  if (largest.load() > std::min<uint64_t>(allowed, PHOTO_DECODED_LIMIT) + SLACK) __builtin_trap();
  // Nothing the show does not read comes out as a picture.
  if (header.format == ImageFormat::Unknown &&
      (file.kind != TextureImage::Kind::None || picture.kind != TextureImage::Kind::None))
    __builtin_trap();
  fs::remove(path);
  return 0;
}
