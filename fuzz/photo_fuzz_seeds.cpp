// Writes the seed corpus of photo_fuzz into a folder, in its input format (a flag byte, then the
// file): small photos of every format the show reads (PNG, JPEG, a CMYK JPEG, GIF, BMP), the same
// with their headers claiming 30000 × 30000, and a file of every other format the platform codecs
// read, each claiming gigabytes (tests/photos/hostile_photos.h).
// Usage: photo_fuzz_seeds FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/photos/hostile_photos.h"
#include "tests/photos/test_images.h"

namespace fs = std::filesystem;

namespace {

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The first 30000 × 30000 claim of each kind of header, at the offsets the test files have.
std::string forged(std::string bytes, const std::string& kind) {
  const auto be16 = [&](size_t at, uint32_t v) { bytes[at] = char(v >> 8), bytes[at + 1] = char(v); };
  const auto le16 = [&](size_t at, uint32_t v) { bytes[at] = char(v), bytes[at + 1] = char(v >> 8); };
  if (kind == "png") be16(18, 30000), be16(22, 30000);
  if (kind == "bmp") le16(18, 30000), le16(22, 30000);
  if (kind == "gif") le16(6, 30000), le16(8, 30000);
  if (kind == "jpeg" || kind == "cmyk")
    for (size_t at = 2; at + 9 < bytes.size(); at += 2 + (size_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3])))
      if (uint8_t(bytes[at + 1]) >= 0xC0 && uint8_t(bytes[at + 1]) <= 0xC2) {
        be16(at + 5, 30000), be16(at + 7, 30000);
        break;
      }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: photo_fuzz_seeds FOLDER\n");
    return 2;
  }
  const fs::path out = argv[1];
  fs::create_directories(out);
  const fs::path made = out / ".made";
  fs::create_directories(made);
  const auto paint = [](int x, int y) { return teximg::Rgba{uint8_t(x * 16), uint8_t(y * 16), 90, uint8_t(255 - x)}; };
  const bool ok = teximg::write_png((made / "png").string(), 12, 10, paint) &&
                  teximg::write_jpeg((made / "jpeg").string(), 12, 10, paint, 80) &&
                  teximg::write_cmyk_jpeg((made / "cmyk").string(), 12, 10, paint, {true, true}, 80) &&
                  teximg::write_bmp((made / "bmp").string(), 12, 10, paint) &&
                  teximg::write_gif((made / "gif").string(), 2, 2, {{255, 0, 0, 255}, {0, 0, 255, 255}}, {0, 1, 1, 0}, 1);
  if (!ok) {
    std::fprintf(stderr, "photo_fuzz_seeds: cannot write the sample photos\n");
    return 1;
  }
  int n = 0;
  const auto seed = [&](bool tga, const std::string& bytes) {
    std::ofstream(out / ("seed-" + std::to_string(n++)), std::ios::binary) << char(tga ? 1 : 0) << bytes;
  };
  for (const char* kind : {"png", "jpeg", "cmyk", "bmp", "gif"}) {
    seed(false, read(made / kind));
    seed(false, forged(read(made / kind), kind));
  }
  for (const hostile::Photo& h : hostile::photos()) seed(std::string(h.name).ends_with(".tga"), h.bytes);
  seed(false, hostile::crashing_gif());
  fs::remove_all(made);
  return 0;
}
