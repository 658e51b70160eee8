// The load sequence's budget reserves what a decode holds at its peak, told from the header. The
// peak here is the one the kernel saw: resident memory's high-water mark, reset before each decode.
#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "photos/texture_loaders.h"
#include "tests/photos/test_images.h"

namespace {

namespace fs = std::filesystem;

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"); -1 when not there.
long long status_bytes(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, n, field) == 0 && line[n] == ':') return std::stoll(line.substr(n + 1)) * 1024;
  return -1;
}

// Resets the high-water mark to what is resident now; false where the kernel cannot.
bool reset_peak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return bool(clear);
}

template <class F>
long long peak_growth(F decode) {
  malloc_trim(0);  // freed memory handed back, so that the decode shows in the resident count
  const long long before = status_bytes("VmRSS");
  reset_peak();
  decode();
  return status_bytes("VmHWM") - before;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;  // shadow memory and quarantine add to every allocation
#else
constexpr bool SANITIZED = false;
#endif

teximg::Rgba photo_like(int x, int y) {
  const uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
  return {uint8_t((x >> 3) + (h >> 29)), uint8_t((y >> 3) + (h >> 28)), uint8_t(((x + y) >> 4) + 60), 255};
}
teximg::Rgba glassy(int x, int y) {
  teximg::Rgba c = photo_like(x, y);
  c.a = uint8_t(x + y);
  return c;
}

TEST(DecodePeak, TheEstimateCoversWhatEachDecodeHolds) {
  if (SANITIZED) GTEST_SKIP() << "resident memory is the sanitizer's own in this build";
  char pattern[] = "/tmp/hallshow-peak-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path dir = pattern;
  const auto file = [&](const char* name) { return (dir / name).string(); };
  constexpr int W = 2400, H = 1600;
  ASSERT_TRUE(teximg::write_png(file("rgb.png"), W, H, photo_like));
  ASSERT_TRUE(teximg::write_png(file("rgba.png"), W, H, glassy));
  ASSERT_TRUE(teximg::write_jpeg(file("a.jpg"), W, H, photo_like, 90));
  ASSERT_TRUE(teximg::write_cmyk_jpeg(file("cmyk.jpg"), W, H, photo_like, {}));
  ASSERT_TRUE(teximg::write_bmp(file("a.bmp"), W, H, photo_like));
  std::vector<uint8_t> indexes(size_t(W) * H);
  for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = uint8_t(i / W / 50 % 4);
  ASSERT_TRUE(teximg::write_gif(file("a.gif"), W, H, {{200, 0, 0, 255}, {0, 200, 0, 255}, {0, 0, 200, 255}, {9, 9, 9, 255}},
                                indexes, -1));
  if (!reset_peak()) GTEST_SKIP() << "this kernel cannot reset the high-water mark";
  constexpr int SIDE = 2048;
  for (const char* name : {"rgb.png", "rgba.png", "a.jpg", "cmyk.jpg", "a.bmp", "a.gif"}) {
    const long long on_file_path = peak_growth([&] { decode_file_texture(file(name)); });
    const long long on_picture_path = peak_growth([&] { decode_picture_image(file(name), SIDE); });
    const long long file_estimate = (long long)file_texture_peak_bytes(file(name));
    const long long picture_estimate = (long long)picture_image_peak_bytes(file(name), SIDE);
    EXPECT_GE(file_estimate, on_file_path) << name;
    EXPECT_GE(picture_estimate, on_picture_path) << name;
    // And not so far above that the budget would hold back decodes for nothing.
    EXPECT_LE(file_estimate, 2 * on_file_path + (16 << 20)) << name;
    EXPECT_LE(picture_estimate, 2 * on_picture_path + (16 << 20)) << name;
    // The result alone, what the budget reserved before, is less than the peak.
    EXPECT_LT((long long)file_texture_bytes(file(name)), on_file_path) << name;
  }
  fs::remove_all(dir);
}

}  // namespace
