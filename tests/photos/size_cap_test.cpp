// Photos whose headers ask for more than any photo may take decoded are refused by both loaders
// before a codec allocates for them. The codecs allocate their surfaces through SDL, so SDL's
// memory functions are replaced by ones that refuse anything large (the memory limit that keeps
// these tests safe) and remember the largest request: a refused photo must not have asked at all.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "photos/image_size.h"
#include "photos/texture_loaders.h"
#include "tests/photos/hostile_photos.h"
#include "tests/photos/test_images.h"

namespace {

namespace fs = std::filesystem;
using Kind = TextureImage::Kind;

constexpr size_t REFUSED_ABOVE = size_t(256) << 20;
std::atomic<size_t> largest_request{0};
SDL_malloc_func real_malloc;
SDL_calloc_func real_calloc;
SDL_realloc_func real_realloc;
SDL_free_func real_free;

void note(size_t bytes) {
  size_t seen = largest_request.load();
  while (bytes > seen && !largest_request.compare_exchange_weak(seen, bytes)) {
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

std::vector<uint8_t> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void put_be16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b.at(at) = uint8_t(v >> 8);
  b.at(at + 1) = uint8_t(v);
}
void put_le16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b.at(at) = uint8_t(v);
  b.at(at + 1) = uint8_t(v >> 8);
}
void put_be32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  put_be16(b, at, v >> 16);
  put_be16(b, at + 2, v & 0xFFFF);
}
void put_le32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  put_le16(b, at, v & 0xFFFF);
  put_le16(b, at + 2, v >> 16);
}
uint32_t crc32_of(const uint8_t* p, size_t n) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}
// The first frame header of a JPEG written by the tests (no stray bytes, no fill).
size_t jpeg_frame_at(const std::vector<uint8_t>& b) {
  size_t at = 2;
  while (at + 4 < b.size() && !(b[at + 1] >= 0xC0 && b[at + 1] <= 0xC2)) at += 2 + (size_t(b[at + 2]) << 8 | b[at + 3]);
  return at;
}

class SizeCap : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SDL_GetMemoryFunctions(&real_malloc, &real_calloc, &real_realloc, &real_free);
    SDL_SetMemoryFunctions(capped_malloc, capped_calloc, capped_realloc, real_free);
  }
  static void TearDownTestSuite() { SDL_SetMemoryFunctions(real_malloc, real_calloc, real_realloc, real_free); }
  void SetUp() override {
    char pattern[] = "/tmp/hallshow-sizecap-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file(const std::string& name) const { return (dir_ / name).string(); }

  // A real small image of each kind, its header patched to `w` × `h` unless both are 0.
  void write_forged(uint32_t w, uint32_t h) {
    const auto paint = [](int x, int y) { return teximg::Rgba{uint8_t(x * 8), uint8_t(y * 8), 90, 255}; };
    ASSERT_TRUE(teximg::write_png(file("p.png"), 32, 32, paint));
    ASSERT_TRUE(teximg::write_jpeg(file("p.jpg"), 32, 32, paint));
    ASSERT_TRUE(teximg::write_cmyk_jpeg(file("cmyk.jpg"), 32, 32, paint, {true, true}));
    ASSERT_TRUE(teximg::write_bmp(file("p.bmp"), 32, 32, paint));
    ASSERT_TRUE(teximg::write_gif(file("p.gif"), 2, 2, {{255, 0, 0, 255}, {0, 0, 255, 255}}, {0, 1, 1, 0}, -1));
    ASSERT_TRUE(teximg::write_gif(file("screen.gif"), 2, 2, {{255, 0, 0, 255}, {0, 0, 255, 255}}, {0, 1, 1, 0}, -1));
    // Bytes that start no block before the image: the codec skips them one by one, however many.
    std::vector<uint8_t> stray = read_all(file("p.gif"));
    stray.insert(stray.begin() + 33, 70000, 0x00);
    ASSERT_TRUE(teximg::write_bytes(file("stray.gif"), stray));
    if (w == 0 && h == 0) return;

    std::vector<uint8_t> png = read_all(file("p.png"));
    put_be32(png, 16, w);
    put_be32(png, 20, h);
    put_be32(png, 29, crc32_of(&png[12], 17));  // a valid IHDR, so that no codec stops at its checksum
    ASSERT_TRUE(teximg::write_bytes(file("p.png"), png));
    for (const char* name : {"p.jpg", "cmyk.jpg"}) {
      std::vector<uint8_t> jpeg = read_all(file(name));
      const size_t frame = jpeg_frame_at(jpeg);
      put_be16(jpeg, frame + 5, h);
      put_be16(jpeg, frame + 7, w);
      ASSERT_TRUE(teximg::write_bytes(file(name), jpeg));
    }
    std::vector<uint8_t> bmp = read_all(file("p.bmp"));
    put_le32(bmp, 18, w);
    put_le32(bmp, 22, h);
    ASSERT_TRUE(teximg::write_bytes(file("p.bmp"), bmp));
    std::vector<uint8_t> gif = read_all(file("p.gif"));
    put_le16(gif, 6, w);
    put_le16(gif, 8, h);
    put_le16(gif, 38, w);  // the image descriptor after the 4-colour table and the control extension
    put_le16(gif, 40, h);
    ASSERT_TRUE(teximg::write_bytes(file("p.gif"), gif));
    put_le16(gif, 38, 2);  // a small image on a huge screen
    put_le16(gif, 40, 2);
    ASSERT_TRUE(teximg::write_bytes(file("screen.gif"), gif));
    put_le16(stray, 70000 + 38, w);  // a huge image behind a small screen and the stray bytes
    put_le16(stray, 70000 + 40, h);
    ASSERT_TRUE(teximg::write_bytes(file("stray.gif"), stray));
  }

  fs::path dir_;
};

constexpr const char* FORMATS[] = {"p.png", "p.jpg", "cmyk.jpg", "p.bmp", "p.gif", "screen.gif", "stray.gif"};

TEST_F(SizeCap, HeadersTellTheSizeTheCodecsWouldAllocate) {
  write_forged(30000, 12345);
  for (const char* name : FORMATS) {
    const ImageSize from_file = image_size_of_file(file(name));
    const std::vector<uint8_t> bytes = read_all(file(name));
    const ImageSize from_bytes = image_size(bytes);
    EXPECT_EQ(from_file.width, 30000u) << name;
    EXPECT_EQ(from_file.height, 12345u) << name;
    EXPECT_EQ(from_bytes.width, 30000u) << name;
    EXPECT_EQ(from_bytes.height, 12345u) << name;
    EXPECT_TRUE(too_large_to_decode(from_file)) << name;
  }
}

TEST_F(SizeCap, ForgedHeadersAreRefusedByBothLoadersBeforeDecoding) {
  // 20000 × 20000: 1.6 GB as RGBA, past the limit, yet small enough that no codec refuses the
  // size on its own before allocating.
  write_forged(20000, 20000);
  for (const char* name : FORMATS) {
    largest_request = 0;
    EXPECT_EQ(decode_file_texture(file(name)).kind, Kind::None) << name;
    EXPECT_LT(largest_request.load(), size_t(16) << 20) << name << " on the file loader";
    largest_request = 0;
    EXPECT_EQ(decode_picture_image(file(name), 64).kind, Kind::None) << name;
    EXPECT_LT(largest_request.load(), size_t(16) << 20) << name << " on the picture loader";
  }
}

TEST_F(SizeCap, TheLimitIsTheDecodedSize) {
  // 16384 × 16384 RGBA is exactly the limit and passes it; one row more does not.
  EXPECT_FALSE(too_large_to_decode({ImageFormat::Jpeg, 16384, 16384}));
  EXPECT_TRUE(too_large_to_decode({ImageFormat::Jpeg, 16384, 16385}));
  EXPECT_TRUE(too_large_to_decode({ImageFormat::Bmp, 0xFFFFFFFF, 0xFFFFFFFF}));
  EXPECT_FALSE(too_large_to_decode({ImageFormat::Unknown, 0, 0}));
  // Small photos of every format still load on both paths.
  write_forged(0, 0);
  for (const char* name : FORMATS) {
    EXPECT_EQ(decode_file_texture(file(name)).kind, Kind::FileTexture) << name;
    EXPECT_NE(decode_picture_image(file(name), 64).kind, Kind::None) << name;
  }
}

// Small files in every other format the platform codecs read by content (or by a ".tga" name),
// each claiming a picture of gigabytes (tests/photos/hostile_photos.h). The show's photos are PNG,
// JPEG and GIF (and BMP, which the picture loader has always taken): anything else is refused by its
// first bytes, whatever its name, and no codec sees it; nor does an SVG behind a JPEG's first bytes.
// And a GIF's codec gets no more memory than its header claimed, whatever it meets further on.
TEST_F(SizeCap, FormatsOutsideTheCatalogueAreRefusedByContent) {
  for (const hostile::Photo& h : hostile::photos()) {
    ASSERT_TRUE(teximg::write_bytes(file(h.name), std::vector<uint8_t>(h.bytes.begin(), h.bytes.end())));
    largest_request = 0;
    EXPECT_EQ(decode_file_texture(file(h.name)).kind, Kind::None) << h.name;
    EXPECT_LT(largest_request.load(), size_t(16) << 20) << h.name << " on the file loader";
    largest_request = 0;
    EXPECT_EQ(decode_picture_image(file(h.name), 64).kind, Kind::None) << h.name;
    EXPECT_LT(largest_request.load(), size_t(16) << 20) << h.name << " on the picture loader";
  }
}

}  // namespace
