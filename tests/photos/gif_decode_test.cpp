// GIFs are decoded by giflib, one image, into the surface SDL_image's GIF loader made of it (an
// 8-bit surface with the image's colour map and transparent index), so every good GIF looks as it
// did; SDL_image's own loader writes outside its buffers on damaged LZW data and crashes.
#include <gtest/gtest.h>

#include <SDL_image.h>

#include <cstring>
#include <filesystem>

#include "photos/image_codecs.h"
#include "photos/texture_loaders.h"
#include "tests/photos/hostile_photos.h"
#include "tests/photos/test_images.h"
#include "tests/support/bounded_call.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"

namespace {

teximg::Rgba photo(int x, int y) { return {uint8_t(x * 7), uint8_t(y * 11), uint8_t((x ^ y) * 5), 255}; }

// The RGBA pixels of a surface, or nothing.
std::vector<uint8_t> rgba_of(SDL_Surface* surface) {
  SurfacePtr rgba = to_rgba32(surface);
  if (!rgba) return {};
  std::vector<uint8_t> out;
  for (int y = 0; y < rgba->h; ++y) {
    const auto* row = static_cast<const uint8_t*>(rgba->pixels) + size_t(y) * rgba->pitch;
    out.insert(out.end(), row, row + size_t(rgba->w) * 4);
  }
  return out;
}

TEST(GifDecode, GivesThePictureSdlImageGaveOfEveryGoodGif) {
  const TempDir temp(TempDir::WorkingDirectory::Keep);
  const auto file = [&](const char* name) { return (temp.path() / name).string(); };
  const std::vector<teximg::Rgba> palette = {{255, 0, 0, 255}, {0, 0, 255, 255}, {0, 200, 0, 255}};
  ASSERT_TRUE(teximg::write_gif(file("keyed.gif"), 3, 2, palette, {0, 1, 2, 2, 1, 0}, 1));
  ASSERT_TRUE(teximg::write_gif(file("plain.gif"), 3, 2, palette, {0, 1, 2, 2, 1, 0}, -1));
  std::string stray = file_contents(file("keyed.gif"));
  stray.insert(33, 3, '\0');  // bytes that start no record, before the image descriptor
  ASSERT_TRUE(teximg::write_bytes(file("stray.gif"), std::vector<uint8_t>(stray.begin(), stray.end())));
  ASSERT_TRUE(teximg::write_photo_gif(file("photo.gif"), 37, 23, photo));
  ASSERT_TRUE(teximg::write_photo_gif(file("interlaced.gif"), 37, 23, photo, true));
  ASSERT_TRUE(teximg::write_photo_gif(file("short.gif"), 5, 3, photo, true));  // passes with no rows
  for (const char* name : {"keyed.gif", "plain.gif", "stray.gif", "photo.gif", "interlaced.gif", "short.gif"}) {
    const std::string bytes = file_contents(file(name));
    const std::span<const uint8_t> span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    SurfacePtr ours = load_image_bytes(span, ImageFormat::Gif);
    SurfacePtr theirs(IMG_LoadGIF_RW(SDL_RWFromConstMem(bytes.data(), int(bytes.size()))));
    ASSERT_TRUE(ours && theirs) << name;
    EXPECT_EQ(ours->w, theirs->w) << name;
    EXPECT_EQ(ours->h, theirs->h) << name;
    EXPECT_EQ(rgba_of(ours.get()), rgba_of(theirs.get())) << name;
  }
}

TEST(GifDecode, DamagedLzwDataCannotCrashTheLoaders) {
  const TempDir temp(TempDir::WorkingDirectory::Keep);
  const std::string path = (temp.path() / "25.gif").string();
  const std::string bytes = hostile::crashing_gif();
  ASSERT_TRUE(teximg::write_bytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end())));
  EXPECT_TRUE(returns_within(
      [&] {
        decode_file_texture(path);
        decode_picture_image(path, 64);
      },
      10, size_t(256) << 20));
}

}  // namespace
