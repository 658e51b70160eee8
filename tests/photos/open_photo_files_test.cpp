// Open entries as files: their names, their headers (size, orientation, opacity), the size they
// are decoded at, and the decode itself on good and hostile bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "photos/area_shrink.h"
#include "photos/open_entries.h"
#include "photos/open_photo_decode.h"
#include "photos/photo_orientation.h"
#include "tests/photos/test_images.h"
#include "tests/support/temp_dir.h"

namespace {

using teximg::Rgba;

std::vector<uint8_t> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A JPEG whose Exif block says `orientation`: the segment goes right after SOI.
std::vector<uint8_t> with_orientation(std::vector<uint8_t> jpeg, uint8_t orientation) {
  const std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0,
                                     orientation, 0, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> segment = {0xFF, 0xE1, 0, uint8_t(2 + 6 + tiff.size()), 'E', 'x', 'i', 'f', 0, 0};
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

// Red on the top half, blue below, a green stripe down the left edge: every turn tells.
teximg::Painter marked(int width, int height) {
  return [=](int x, int y) {
    if (x < width / 6) return Rgba{0, 255, 0, 255};
    return y < height / 2 ? Rgba{255, 0, 0, 255} : Rgba{0, 0, 255, 255};
  };
}

}  // namespace

TEST(OpenEntryNames, OnlyPlainNumbersFrom44WithLowerCaseJpgOrPng) {
  const std::pair<const char*, std::optional<uint32_t>> cases[] = {
      {"44.jpg", 44},       {"45.png", 45},        {"12345.jpg", 12345}, {"16777215.png", 16777215},
      {"43.jpg", {}},       {"00.jpg", {}},        {"045.jpg", {}},      {"45.JPG", {}},
      {"45.jpeg", {}},      {"45.jpg~", {}},       {".jpg", {}},         {"4a.jpg", {}},
      {"16777216.jpg", {}}, {"99999999999.jpg", {}}, {"45", {}},         {"45.gif", {}},
  };
  for (const auto& [name, number] : cases) EXPECT_EQ(open_entry_number(name), number) << name;
}

TEST(OpenEntryNames, FoundInNumberOrderJpgBeforePngFoldersLeftOut) {
  TempDir dir;
  std::filesystem::create_directory("photos");
  for (const char* name : {"100.jpg", "99.png", "45.png", "45.jpg", "17.jpg", "notes.txt"})
    std::ofstream("photos/" + std::string(name)) << "x";
  std::filesystem::create_directory("photos/46.jpg");
  const std::vector<OpenEntry> entries = find_open_entries("photos/");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].path, "photos/45.jpg");
  EXPECT_EQ(entries[1].number, 99u);
  EXPECT_EQ(entries[2].number, 100u);
  EXPECT_EQ(find_open_entry(entries, 99)->path, "photos/99.png");
  EXPECT_EQ(find_open_entry(entries, 46), nullptr);
  EXPECT_TRUE(find_open_entries("no-such-folder/").empty());
}

TEST(PhotoOrientation, EveryOrientationStandsUpright) {
  // A 3 × 2 picture, pixel value = its index; upright (y from the top) as each orientation shows it.
  const uint32_t w = 3, h = 2;
  std::vector<uint8_t> stored(w * h * 4);
  for (uint32_t i = 0; i < w * h; ++i) stored[i * 4] = uint8_t(i);
  const std::vector<std::vector<uint8_t>> upright = {
      {}, {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}, {5, 4, 3, 2, 1, 0}, {3, 4, 5, 0, 1, 2},
      {0, 3, 1, 4, 2, 5},  // 5: transposed, 2 wide and 3 high
      {3, 0, 4, 1, 5, 2},  // 6: turned clockwise
      {5, 2, 4, 1, 3, 0},  // 7: transverse
      {2, 5, 1, 4, 0, 3},  // 8: turned anticlockwise
  };
  for (uint8_t o = 1; o <= 8; ++o) {
    std::vector<uint8_t> out(w * h * 4);
    orient_bottom_first(stored.data(), w, h, o, out.data());
    const uint32_t out_w = orientation_swaps_sides(o) ? h : w, out_h = w * h / out_w;
    for (uint32_t y = 0; y < out_h; ++y)
      for (uint32_t x = 0; x < out_w; ++x)
        EXPECT_EQ(out[((out_h - 1 - y) * out_w + x) * 4], upright[o][y * out_w + x]) << int(o) << " " << x << "," << y;
  }
}

TEST(PhotoOrientation, MalformedExifReadsAsUpright) {
  const std::vector<std::vector<uint8_t>> cases = {
      {},
      {'I', 'I', 42, 0},                                        // cut short
      {'X', 'X', 42, 0, 8, 0, 0, 0, 0, 0},                      // no byte order
      {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0},           // IFD far beyond the end
      {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 0x12, 0x01},    // more entries than bytes
      {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 9, 0, 0},  // value 9
  };
  for (const auto& tiff : cases) EXPECT_EQ(tiff_orientation(tiff), 1);
  EXPECT_EQ(tiff_orientation(std::vector<uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1,
                                                  0, 6, 0, 0}),
            6);
}

TEST(OpenPhotoSize, TexturesAreSizedForTheScreenAtTheLargestScale) {
  EXPECT_EQ(open_photo_long_side(1080, 1.8f, 16384), 1342u);   // ⌈0.69 · 1080 · 1.8⌉
  EXPECT_EQ(open_photo_long_side(1080, 5.0f, 16384), 2160u);   // at most twice the screen
  EXPECT_EQ(open_photo_long_side(2160, 5.0f, 4096), 4096u);    // at most the context's largest
  EXPECT_EQ(open_photo_long_side(1080, 0.001f, 16384), 16u);
  EXPECT_EQ(open_photo_long_side(1080, -1.8f, 16384), 1342u);  // scale −2.8: turned, same size
  EXPECT_EQ(open_photo_long_side(1080, NAN, 16384), 16u);
  EXPECT_EQ(open_photo_texture_size(4032, 3024, 1342), (PixelSize{1342, 1007}));
  EXPECT_EQ(open_photo_texture_size(3024, 4032, 1342), (PixelSize{1007, 1342}));
  EXPECT_EQ(open_photo_texture_size(800, 600, 1342), (PixelSize{800, 600}));  // never enlarged
  EXPECT_EQ(open_photo_texture_size(10000, 1, 100), (PixelSize{100, 1}));
  EXPECT_EQ(jpeg_scale_denominator({4032, 3024}, {1342, 1007}), 2u);
  EXPECT_EQ(jpeg_scale_denominator({4032, 3024}, {500, 375}), 8u);
  EXPECT_EQ(jpeg_scale_denominator({4032, 3024}, {4032, 3024}), 1u);
  EXPECT_EQ(mipmapped_bytes({4, 2}), uint64_t(4 * 2 + 2 * 1 + 1) * 4);
}

TEST(AreaShrink, KeepsTheMeanAtAnyRatio) {
  for (const auto& [from, to] : {std::pair{8u, 4u}, {9u, 4u}, {7u, 3u}, {5u, 5u}}) {
    std::vector<uint8_t> src(from * from * 4), dst(to * to * 4);
    uint64_t sum = 0;
    for (uint32_t i = 0; i < from * from; ++i) sum += src[i * 4] = uint8_t((i % 2) * 200);
    shrink_by_area(src.data(), from, from, from * 4, dst.data(), to, to);
    uint64_t shrunk = 0;
    for (uint32_t i = 0; i < to * to; ++i) shrunk += dst[i * 4];
    EXPECT_NEAR(double(shrunk) / (to * to), double(sum) / (from * from), 3.0) << from << " to " << to;
  }
}

TEST(OpenPhotoDecode, AJpegTurnedByItsExifComesOutUprightAtTheSizeAsked) {
  TempDir dir;
  ASSERT_TRUE(teximg::write_jpeg("stored.jpg", 240, 160, marked(240, 160)));
  // Stored 240 × 160; orientation 6 shows it turned clockwise: 160 × 240, the green stripe on top.
  const std::vector<uint8_t> bytes = with_orientation(file_bytes("stored.jpg"), 6);
  const OpenPhotoHeader header = read_open_photo_header(bytes);
  EXPECT_EQ(header.orientation, 6);
  EXPECT_TRUE(header.opaque);
  EXPECT_EQ(header.width(), 160u);
  const OpenPhotoImage image = decode_open_photo_bytes(bytes, 120);  // DCT-scaled by ½, then shrunk
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(image.size, (PixelSize{80, 120}));
  EXPECT_EQ(image.levels.size(), 7u);  // 80×120 down to 1×1
  const auto at = [&](uint32_t x, uint32_t y) { return teximg::pixel_from_top(image.levels[0], 80, 120, x, y); };
  EXPECT_TRUE(teximg::near(at(40, 5), {0, 255, 0, 255}, 40));    // the stripe: the stored left edge
  EXPECT_TRUE(teximg::near(at(5, 80), {0, 0, 255, 255}, 40));    // stored bottom, now on the left
  EXPECT_TRUE(teximg::near(at(75, 80), {255, 0, 0, 255}, 40));   // stored top, now on the right
}

TEST(OpenPhotoDecode, APngKeepsItsAlphaAndSaysSo) {
  TempDir dir;
  ASSERT_TRUE(teximg::write_png("see-through.png", 64, 32, [](int x, int) { return Rgba{255, 255, 255, uint8_t(x * 4)}; }));
  const OpenPhotoHeader header = read_open_photo_header_of_file("see-through.png");
  EXPECT_FALSE(header.opaque);
  EXPECT_GT(header.file_bytes, 0u);
  const OpenPhotoImage image = decode_open_photo("see-through.png", 32);
  ASSERT_EQ(image.size, (PixelSize{32, 16}));
  EXPECT_LT(teximg::pixel_from_top(image.levels[0], 32, 16, 0, 0).a, 10);
  EXPECT_GT(teximg::pixel_from_top(image.levels[0], 32, 16, 31, 0).a, 240);
}

TEST(OpenPhotoDecode, HostileFilesGiveNothingAndNeverBlock) {
  TempDir dir;
  teximg::write_bytes("empty.jpg", {});
  teximg::write_bytes("tiff.jpg", {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0});
  // A frame header claiming 65535 × 65535 and no picture after it.
  teximg::write_bytes("forged.jpg", {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0xFF, 0xFF, 0xFF, 0xFF, 1, 1, 0x11, 0, 0xFF, 0xD9});
  ASSERT_EQ(mkfifo("fifo.jpg", 0600), 0);
  std::filesystem::create_symlink("/dev/zero", "zero.jpg");
  for (const char* name : {"empty.jpg", "tiff.jpg", "fifo.jpg", "zero.jpg", "missing.jpg"}) {
    EXPECT_FALSE(read_open_photo_header_of_file(name).usable()) << name;
    EXPECT_TRUE(decode_open_photo(name, 1000).empty()) << name;
  }
  EXPECT_TRUE(read_open_photo_header_of_file("forged.jpg").usable());  // its header alone looks fine
}
