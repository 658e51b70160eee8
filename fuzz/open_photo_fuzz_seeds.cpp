// Writes the seed corpus of open_photo_fuzz into a folder, in its input format (a byte for the long
// side, then the file): JPEGs and PNGs turned by every kind of orientation a camera writes (Exif in
// a JPEG's APP1, eXIf in a PNG), a grey and a CMYK JPEG, a PNG with alpha, and a JPEG whose frame
// header claims 30000 × 30000.
// Usage: open_photo_fuzz_seeds FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/photos/test_images.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> tiff(uint8_t orientation) {
  return {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, orientation, 0, 0, 0, 0, 0, 0};
}

std::vector<uint8_t> with_exif(std::vector<uint8_t> jpeg, uint8_t orientation) {
  const std::vector<uint8_t> t = tiff(orientation);
  std::vector<uint8_t> segment = {0xFF, 0xE1, 0, uint8_t(8 + t.size()), 'E', 'x', 'i', 'f', 0, 0};
  segment.insert(segment.end(), t.begin(), t.end());
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

// An eXIf chunk after IHDR (its CRC is not checked by the header reader, nor here).
std::vector<uint8_t> with_exif_chunk(std::vector<uint8_t> png, uint8_t orientation) {
  const std::vector<uint8_t> t = tiff(orientation);
  std::vector<uint8_t> chunk = {0, 0, 0, uint8_t(t.size()), 'e', 'X', 'I', 'f'};
  chunk.insert(chunk.end(), t.begin(), t.end());
  chunk.insert(chunk.end(), {0, 0, 0, 0});
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());
  return png;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: open_photo_fuzz_seeds FOLDER\n");
    return 2;
  }
  const fs::path out = argv[1];
  const fs::path scratch = out / ".scratch";
  fs::create_directories(scratch);
  const auto paint = [](int x, int y) { return teximg::Rgba{uint8_t(x * 9), uint8_t(y * 13), uint8_t(x ^ y), 255}; };
  const auto see_through = [](int x, int y) { return teximg::Rgba{200, uint8_t(y * 9), 40, uint8_t(x * 11)}; };
  bool ok = teximg::write_jpeg((scratch / "a.jpg").string(), 24, 16, paint) &&
            teximg::write_png((scratch / "a.png").string(), 20, 12, see_through) &&
            teximg::write_cmyk_jpeg((scratch / "cmyk.jpg").string(), 16, 16, paint, {}) &&
            teximg::write_jpeg((scratch / "grey.jpg").string(), 16, 24, [](int x, int) {
              return teximg::Rgba{uint8_t(x * 10), uint8_t(x * 10), uint8_t(x * 10), 255};
            });
  if (!ok) return 1;
  std::vector<std::vector<uint8_t>> seeds;
  const std::vector<uint8_t> jpeg = read(scratch / "a.jpg"), png = read(scratch / "a.png");
  for (uint8_t o = 1; o <= 8; ++o) seeds.push_back(with_exif(jpeg, o));
  for (uint8_t o : {3, 6}) seeds.push_back(with_exif_chunk(png, o));
  seeds.push_back(png);
  seeds.push_back(read(scratch / "cmyk.jpg"));
  seeds.push_back(read(scratch / "grey.jpg"));
  std::vector<uint8_t> forged = jpeg;
  for (size_t at = 2; at + 9 < forged.size(); at += 2 + (size_t(forged[at + 2]) << 8 | forged[at + 3]))
    if (forged[at + 1] >= 0xC0 && forged[at + 1] <= 0xC2) {
      forged[at + 5] = 30000 >> 8, forged[at + 6] = 30000 & 0xFF, forged[at + 7] = 30000 >> 8, forged[at + 8] = 30000 & 0xFF;
      break;
    }
  seeds.push_back(forged);
  for (size_t i = 0; i < seeds.size(); ++i) {
    std::ofstream file(out / ("seed-" + std::to_string(i)), std::ios::binary);
    const char side = char(i * 7 % 256);  // long sides from 16 up, some below the photo's, some above
    file.put(side);
    file.write(reinterpret_cast<const char*>(seeds[i].data()), std::streamsize(seeds[i].size()));
  }
  fs::remove_all(scratch);
  return 0;
}
