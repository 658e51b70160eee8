// One display's tile of a wall: where the wall's letterbox lands in each display, and the options.
#include <gtest/gtest.h>

#include "app/wall_tile.h"

namespace {

TEST(WallTile, EachTileSeesTheWallsLetterboxFromItsOwnCorner) {
  struct Case {
    WallTile tile;
    int32_t width, height;
    Letterbox expected;
  };
  const Case cases[] = {
      // A 1 × 1 wall is the screen's own letterbox.
      {{1, 1, 1, 1, 0}, 1024, 768, {0, 96, 1024, 576, 1.77777f}},
      // 2 × 2 of 16:9 is 16:9: each display holds a quarter, the top row's origin half the wall down.
      {{2, 2, 1, 1, 0}, 640, 360, {0, -360, 1280, 720, 1280.0f / 720.0f}},
      {{2, 2, 2, 1, 0}, 640, 360, {-640, -360, 1280, 720, 1280.0f / 720.0f}},
      {{2, 2, 1, 2, 0}, 640, 360, {0, 0, 1280, 720, 1280.0f / 720.0f}},
      {{2, 2, 2, 2, 0}, 640, 360, {-640, 0, 1280, 720, 1280.0f / 720.0f}},
      // Bezels widen the wall (1300 × 740, letterboxed to 731 high at y = 4) and move the tiles.
      {{2, 2, 2, 1, 20}, 640, 360, {-660, 4 - 380, 1300, 731, 1.77777f}},
      // Three side by side: a wide band, overfilling the height.
      {{3, 1, 3, 1, 0}, 640, 360, {-1280, -360, 1920, 1080, 1.77777f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.tile.columns << "x" << c.tile.rows << " at " << c.tile.column << ","
                                    << c.tile.row << " bezel " << c.tile.bezel);
    const Letterbox box = wall_tile_viewport(c.tile, c.width, c.height);
    EXPECT_EQ(box.x, c.expected.x);
    EXPECT_EQ(box.y, c.expected.y);
    EXPECT_EQ(box.width, c.expected.width);
    EXPECT_EQ(box.height, c.expected.height);
    EXPECT_EQ(box.aspect, c.expected.aspect);
  }
}

TEST(WallTile, OptionsAreCheckedTogether) {
  struct Case {
    const char *wall, *screen, *bezel;
    bool ok;
    WallTile tile;
  };
  const Case cases[] = {
      {"", "", "", true, {}},
      {"2x2", "1,2", "", true, {2, 2, 1, 2, 0}},
      {"4x1", "4,1", "30", true, {4, 1, 4, 1, 30}},
      {"2x2", "", "", false, {}},
      {"", "1,1", "", false, {}},
      {"", "", "10", false, {}},
      {"2x2", "0,1", "", false, {}},   // counted from 1
      {"2x2", "3,1", "", false, {}},   // outside the wall
      {"2x2", "1,3", "", false, {}},
      {"2*2", "1,1", "", false, {}},
      {"2x", "1,1", "", false, {}},
      {"0x2", "1,1", "", false, {}},
      {"2x2", "1;1", "", false, {}},
      {"2x2", "1,1", "-5", false, {}},
      {"2x2", "1,1", "9999", false, {}},
      {"99x2", "1,1", "", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.wall << "\" \"" << c.screen << "\" \"" << c.bezel << '"');
    WallTile tile;
    std::string error;
    EXPECT_EQ(parse_wall_tile(c.wall, c.screen, c.bezel, tile, error), c.ok) << error;
    EXPECT_EQ(error.empty(), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(tile.columns, c.tile.columns);
    EXPECT_EQ(tile.rows, c.tile.rows);
    EXPECT_EQ(tile.column, c.tile.column);
    EXPECT_EQ(tile.row, c.tile.row);
    EXPECT_EQ(tile.bezel, c.tile.bezel);
  }
}

}  // namespace
