// A wall checked without its machines: the tiles hallshow-capture renders one display at a time,
// put side by side, are the whole picture captured at the wall's size (with the bezels' pixels cut
// out of it).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/gl_harness.h"

namespace {

using gltest::Frame;

std::string capture(const std::string& arguments) {
  const std::string command = std::string(CAPTURE_PATH) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "cannot run " + command;
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  const int status = pclose(pipe);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? std::string() : "failed: " + command + "\n" + output;
}

// A show whose two layers are turned, moved and scaled so that their edges cross every seam of
// the wall at an angle, over the backdrop (a photo of another kind).
void write_show() {
  std::filesystem::create_directory("hall.photo");
  Frame photo{96, 96, {}};
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 96; ++x)
      photo.rgba.insert(photo.rgba.end(), {uint8_t(x * 2 + 40), uint8_t(y * 2 + 20), uint8_t((x ^ y) * 2), 255});
  ASSERT_TRUE(photo.save_png("hall.photo/01.png"));
  ASSERT_EQ(std::system("ffmpeg -v error -y -f lavfi -i testsrc=s=128x128 -frames:v 1 hall.photo/17.jpg"), 0);
  gltest::write_constant_track("happy", 1);
  gltest::write_constant_track("back.n", 1);
  gltest::write_constant_track("back.r", 1);
  gltest::write_constant_track("back.g", 1);
  gltest::write_constant_track("back.b", 1);
  gltest::write_constant_track("back.rotz", 27);
  gltest::write_constant_track("back.x", -0.4f);
  gltest::write_constant_track("back.scale", 0.3f);
  gltest::write_constant_track("beard.n", 1);
  gltest::write_constant_track("beard.r", 0.8f);
  gltest::write_constant_track("beard.g", 0.5f);
  gltest::write_constant_track("beard.b", 1);
  gltest::write_constant_track("beard.roty", 35);
  gltest::write_constant_track("beard.x", 0.9f);
  gltest::write_constant_track("beard.y", 0.2f);
}

// Pixels off at all, and the largest difference in any channel.
struct Difference {
  long off = 0;
  int largest = 0;
};

// `tile` against the part of `whole` whose top-left corner is (x, y).
void compare(const Frame& tile, const Frame& whole, int x, int y, Difference& d) {
  for (int ty = 0; ty < tile.height; ++ty)
    for (int tx = 0; tx < tile.width; ++tx) {
      const gltest::Rgba a = tile.at(tx, ty), b = whole.at(x + tx, y + ty);
      const int diff = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
      if (diff > 0) ++d.off;
      d.largest = std::max(d.largest, diff);
    }
}

TEST(WallTiles, FourTilesSideBySideAreTheWholePicture) {
  gltest::TempDir folder;
  write_show();
  const int w = 320, h = 180;
  for (int bezel : {0, 16}) {
    SCOPED_TRACE(testing::Message() << "bezel " << bezel);
    const int wall_w = 2 * w + bezel, wall_h = 2 * h + bezel;
    ASSERT_EQ(capture("--at 10 --size " + std::to_string(wall_w) + "x" + std::to_string(wall_h) +
                      " --output whole.png"), "");
    const Frame whole = gltest::read_png("whole.png");
    ASSERT_EQ(whole.width, wall_w);
    Difference d;
    long pixels = 0;
    for (int row = 1; row <= 2; ++row)
      for (int column = 1; column <= 2; ++column) {
        const std::string name = "tile-" + std::to_string(column) + "-" + std::to_string(row) + ".png";
        ASSERT_EQ(capture("--at 10 --size 320x180 --wall 2x2 --screen " + std::to_string(column) + "," +
                          std::to_string(row) + " --bezel " + std::to_string(bezel) + " --output " + name), "");
        const Frame tile = gltest::read_png(name);
        ASSERT_EQ(tile.width, w);
        ASSERT_EQ(tile.height, h);
        // The tile of the top-left display holds part of the layers, not only black.
        if (column == 1 && row == 1) {
          EXPECT_GT(tile.count([](gltest::Rgba c) { return c.r > 60; }), w * h / 20);
        }
        compare(tile, whole, (column - 1) * (w + bezel), (row - 1) * (h + bezel), d);
        pixels += long(w) * h;
      }
    EXPECT_LE(d.off, pixels / 1000) << "pixels off";
    EXPECT_LE(d.largest, 2);
  }
}

TEST(WallTiles, ATileOutsideTheWallIsRefused) {
  gltest::TempDir folder;
  EXPECT_NE(capture("--at 0 --size 64x36 --wall 2x2 --screen 3,1"), "");
  EXPECT_NE(capture("--at 0 --size 64x36 --bezel 4"), "");
}

}  // namespace
