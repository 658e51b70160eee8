// The loaders' arithmetic without files or GL: the square side, the power-of-two sizes, the
// nearest-neighbour stretch and the format sniffing.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "photos/image_format.h"
#include "photos/texture_loaders.h"

namespace {

TEST(PictureSquareSide, FollowsTheTextureLimit) {
  const struct {
    int max, side;
  } cases[] = {
      {1024, 512}, {2048, 1024}, {4095, 2047}, {4096, 2048},  // exactly 4096 halves, as every limit up to it
      {4097, 4096}, {8192, 4096}, {16384, 4096}, {0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(picture_square_side(c.max), c.side) << "limit " << c.max;
}

TEST(NextPowerOfTwo, SmallestPowerNotBelow) {
  const struct {
    uint32_t n, p;
  } cases[] = {
      {0, 1}, {1, 1}, {2, 2}, {3, 4}, {640, 1024}, {1024, 1024}, {1025, 2048},
      {0x80000000u, 0x80000000u},
      {0x80000001u, 0},  // no 32-bit power of two is that large
      {0xFFFFFFFFu, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(next_power_of_two(c.n), c.p) << "n = " << c.n;
}

// One RGBA pixel per source cell, its red channel the cell's number, so that where each
// destination pixel came from can be read off it.
std::vector<uint8_t> numbered_source(uint32_t w, uint32_t h) {
  std::vector<uint8_t> src(size_t(w) * h * 4);
  for (uint32_t i = 0; i < w * h; ++i) {
    src[i * 4 + 0] = uint8_t(i + 1);  // never pure black
    src[i * 4 + 1] = 0;
    src[i * 4 + 2] = 0;
    src[i * 4 + 3] = 200;
  }
  return src;
}

TEST(ResampleToTexture, ThreeByThreeOntoFourByFour) {
  const std::vector<uint8_t> src = numbered_source(3, 3);
  std::vector<uint8_t> dst(4 * 4 * 4, 0xEE);
  resample_to_texture(dst.data(), src.data(), 3, 3, 4, 4);
  const int columns[4] = {0, 0, 1, 2};
  const int source_row_in_memory_row[4] = {2, 1, 0, 0};  // memory rows 0…3: the picture's bottom first
  for (int m = 0; m < 4; ++m) {
    for (int j = 0; j < 4; ++j) {
      const int cell = source_row_in_memory_row[m] * 3 + columns[j];
      EXPECT_EQ(dst[(m * 4 + j) * 4], cell + 1) << "memory row " << m << ", column " << j;
      EXPECT_EQ(dst[(m * 4 + j) * 4 + 3], 200);
    }
  }
  EXPECT_EQ(0, std::memcmp(&dst[2 * 16], &dst[3 * 16], 16)) << "memory row 2 repeats memory row 3";
}

TEST(ResampleToTexture, MatchesTheFloorFormulaForEverySize) {
  const uint32_t sizes[][4] = {
      {1, 1, 1, 1}, {3, 3, 4, 4}, {5, 7, 8, 8}, {300, 200, 512, 256}, {640, 480, 1024, 512},
      {7, 5, 2, 3},    // shrinking skips source rows and columns
      {2, 2, 16, 16},  // many repeated rows
      {1, 9, 4, 16}, {33, 1, 64, 1},
  };
  for (const auto& s : sizes) {
    const uint32_t sw = s[0], sh = s[1], dw = s[2], dh = s[3];
    std::vector<uint8_t> src(size_t(sw) * sh * 4);
    for (size_t i = 0; i < src.size(); i += 4) {
      const uint32_t cell = uint32_t(i / 4);
      src[i] = uint8_t(cell), src[i + 1] = uint8_t(cell >> 8), src[i + 2] = 1, src[i + 3] = 77;
    }
    std::vector<uint8_t> dst(size_t(dw) * dh * 4);
    resample_to_texture(dst.data(), src.data(), sw, sh, dw, dh);
    int wrong = 0;
    for (uint32_t k = 0; k < dh; ++k) {
      for (uint32_t j = 0; j < dw; ++j) {
        const uint64_t sy = uint64_t(k) * sh / dh, sx = uint64_t(j) * sw / dw;
        const uint8_t* want = &src[(sy * sw + sx) * 4];
        const uint8_t* got = &dst[(size_t(dh - 1 - k) * dw + j) * 4];
        wrong += std::memcmp(want, got, 4) != 0;
      }
    }
    EXPECT_EQ(wrong, 0) << sw << "×" << sh << " → " << dw << "×" << dh;
  }
}

TEST(ResampleToTexture, PureBlackBecomesTransparent) {
  const struct {
    uint8_t in[4], out[4];
  } cases[] = {
      {{0, 0, 0, 255}, {0, 0, 0, 0}},
      {{0, 0, 1, 255}, {0, 0, 1, 255}},
      {{0, 0, 0, 128}, {0, 0, 0, 0}},
      {{255, 255, 255, 0}, {255, 255, 255, 0}},
      {{1, 0, 0, 255}, {1, 0, 0, 255}},
  };
  for (const auto& c : cases) {
    uint8_t dst[4] = {9, 9, 9, 9};
    resample_to_texture(dst, c.in, 1, 1, 1, 1);
    EXPECT_EQ(0, std::memcmp(dst, c.out, 4)) << int(c.in[0]) << "," << int(c.in[1]) << "," << int(c.in[2]) << ","
                                             << int(c.in[3]);
  }
}

TEST(ResampleToTexture, BlackRuleAlsoOnRepeatedRows) {
  // A 1×1 black pixel stretched to 1×4: one sampled row, three copies, all transparent.
  const uint8_t src[4] = {0, 0, 0, 255};
  uint8_t dst[16];
  std::memset(dst, 0xAB, sizeof dst);
  resample_to_texture(dst, src, 1, 1, 1, 4);
  for (int m = 0; m < 4; ++m) EXPECT_EQ(dst[m * 4 + 3], 0) << "memory row " << m;
}

TEST(ResampleToTexture, EmptySizesWriteNothing) {
  const uint8_t src[4] = {1, 2, 3, 4};
  uint8_t dst[4] = {9, 9, 9, 9};
  for (const auto& s : {std::array<uint32_t, 4>{0, 1, 1, 1}, {1, 0, 1, 1}, {1, 1, 0, 1}, {1, 1, 1, 0}}) {
    resample_to_texture(dst, src, s[0], s[1], s[2], s[3]);
    EXPECT_EQ(dst[0], 9);
  }
}

TEST(SniffImageFormat, ByMagicBytesAlone) {
  using B = std::vector<uint8_t>;
  const struct {
    B bytes;
    ImageFormat format;
    bool picture;
  } cases[] = {
      {{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F'}, ImageFormat::Jpeg, true},
      {{0xFF, 0xD8, 0xFF, 0xE1}, ImageFormat::Jpeg, true},  // Exif
      {{'G', 'I', 'F', '8', '9', 'a', 1, 0}, ImageFormat::Gif, true},
      {{'G', 'I', 'F', '8', '7', 'a'}, ImageFormat::Gif, true},
      {{'B', 'M', 0x36, 0, 0, 0}, ImageFormat::Bmp, true},
      {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13}, ImageFormat::Png, false},
      {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}, ImageFormat::Unknown, false},  // a cut signature
      {{'G', 'I', 'F', '8', '8', 'a'}, ImageFormat::Unknown, false},
      {{0xFF, 0xD8}, ImageFormat::Unknown, false},
      {{'B'}, ImageFormat::Unknown, false},
      {{}, ImageFormat::Unknown, false},
      {{'<', 's', 'v', 'g'}, ImageFormat::Unknown, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sniff_image_format(c.bytes), c.format) << "case of " << c.bytes.size() << " bytes";
    EXPECT_EQ(is_picture_format(sniff_image_format(c.bytes)), c.picture);
  }
}

}  // namespace
