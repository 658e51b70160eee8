// Which track drives what: the 22 bindings in their order, rebinding, and the two integer
// conversions of track values (texture names and "happy").
#include <cmath>
#include <limits>
#include <string>

#include "show/scene.h"
#include "tests/support/gl_harness.h"

namespace {

TEST(SceneTracksTest, BindsTheTwentyTwoTracksInTheirOrderInAStoreCalledSync) {
  gltest::TempDir folder;
  bind_tracks();
  const SyncTrackStore& store = scene_track_store();
  EXPECT_EQ(store.base, "sync");
  const char* const order[] = {
      "back.n",  "back.x",  "back.y",  "back.r",  "back.g",  "back.b",  "back.scale",  "back.rotx",  "back.roty",  "back.rotz",
      "beard.n", "beard.x", "beard.y", "beard.r", "beard.g", "beard.b", "beard.scale", "beard.rotx", "beard.roty", "beard.rotz",
      "sad",     "happy"};
  ASSERT_EQ(store.tracks.size(), std::size(order));
  for (size_t i = 0; i < std::size(order); ++i) {
    EXPECT_EQ(store.tracks[i]->name, order[i]) << "track " << i + 1;
    EXPECT_STREQ(SCENE_TRACK_NAMES[i], order[i]);
  }
}

TEST(SceneTracksTest, EachFieldHoldsTheTrackOfItsName) {
  gltest::TempDir folder;
  bind_tracks();
  const SceneTracks& t = scene_tracks();
  for (const auto& [layer, tracks] : {std::pair{std::string("back"), t.back}, std::pair{std::string("beard"), t.beard}}) {
    const std::pair<const char*, SyncTrack*> fields[] = {
        {"n", tracks.n}, {"x", tracks.x}, {"y", tracks.y}, {"r", tracks.r}, {"g", tracks.g}, {"b", tracks.b},
        {"scale", tracks.scale}, {"rotx", tracks.rotx}, {"roty", tracks.roty}, {"rotz", tracks.rotz}};
    for (const auto& [suffix, track] : fields) {
      ASSERT_NE(track, nullptr) << layer << "." << suffix;
      EXPECT_EQ(track->name, layer + "." + suffix);
    }
  }
  ASSERT_NE(t.sad, nullptr);
  ASSERT_NE(t.happy, nullptr);
  EXPECT_EQ(t.sad->name, "sad");
  EXPECT_EQ(t.happy->name, "happy");
}

TEST(SceneTracksTest, TracksAreReadFromTheirFilesWhenBoundAndRebindingRereadsThem) {
  gltest::TempDir folder;
  gltest::write_track_file("beard.rotz", {{0, 10, Linear}, {10, 20, Step}});
  bind_tracks();
  EXPECT_FLOAT_EQ(get_value(*scene_tracks().beard.rotz, 5.0), 15.0f);
  EXPECT_FLOAT_EQ(get_value(*scene_tracks().back.rotz, 5.0), 0.0f) << "a missing file reads 0";
  gltest::write_constant_track("beard.rotz", -3);
  bind_tracks();
  EXPECT_FLOAT_EQ(get_value(*scene_tracks().beard.rotz, 5.0), -3.0f);
}

TEST(SceneTracksTest, TextureNamesTruncateTowardZeroTo64BitsAndKeepTheLow32) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    float n;
    uint32_t name;
  };
  const Case cases[] = {
      {0.0f, 0},          {5.9f, 5},       {17.9f, 17},          {-0.5f, 0},           {-0.999f, 0},
      {43.0f, 43},        {-1.0f, 0xFFFFFFFFu}, {-2.5f, 0xFFFFFFFEu}, {4294967296.0f, 0}, {4294967808.0f, 512},
      {1e12f, 3567583232u},  // 999999995904 = 232 · 2^32 + 3567583232
      {9.2233715e18f, 0}, {-9.2233720e18f, 0},  // ±2^63 and beyond: multiples of 2^32
      {1e30f, 0},         {-1e30f, 0},     {inf, 0},             {-inf, 0},            {nan, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(layer_texture_name(c.n), c.name) << "n " << c.n;
}

TEST(SceneTracksTest, HappyTruncatesTowardZero) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float happy;
    int32_t state;
  };
  const Case cases[] = {
      {0.999f, 0}, {1.0f, 1}, {1.999f, 1}, {2.0f, 2}, {2.5f, 2}, {2.999f, 2}, {3.0f, 3}, {-0.5f, 0}, {-1.5f, -1},
      {nan, 0},    {3e9f, INT32_MAX}, {-3e9f, INT32_MIN}, {std::numeric_limits<float>::infinity(), INT32_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(happy_state(c.happy), c.state) << "happy " << c.happy;
}

}  // namespace
