// The binary track file: its exact layout, and what the strict reader refuses.
#include "sync/track_file.h"

#include <gtest/gtest.h>

namespace {

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s.push_back(static_cast<char>(c));
  return s;
}

std::vector<TrackKey> rising_keys(size_t n) {
  std::vector<TrackKey> keys(n, TrackKey{0, 1.0f, Step});
  for (size_t i = 0; i < n; ++i) keys[i].row = int32_t(i);
  return keys;
}

TEST(TrackFile, LaysKeysOutLittleEndianAtNineBytes) {
  const std::string file = encode_track_file({{1, 1.0f, Linear}, {300, -2.5f, Ramp}, {-1, 0.0f, Step}});
  EXPECT_EQ(file, bytes({3, 0, 0, 0,                                       // count
                         1, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F, 1,               // row 1, 1.0f, linear
                         0x2C, 0x01, 0, 0, 0x00, 0x00, 0x20, 0xC0, 3,         // row 300, -2.5f, ramp
                         0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0}));            // row -1, 0.0f, step
  EXPECT_EQ(encode_track_file({}), bytes({0, 0, 0, 0}));
}

TEST(TrackFile, ReadsBackWhatItWrites) {
  const std::vector<TrackKey> keys = {{-5, 0.25f, Smooth}, {0, -0.0f, Step}, {2147483647, 1e-45f, Ramp}};
  std::vector<TrackKey> back;
  std::string error;
  ASSERT_TRUE(decode_track_file(encode_track_file(keys), back, error)) << error;
  ASSERT_EQ(back.size(), keys.size());
  EXPECT_EQ(encode_track_file(back), encode_track_file(keys));
  EXPECT_TRUE(decode_track_file(encode_track_file(rising_keys(MAX_TRACK_KEYS)), back, error)) << error;
}

TEST(TrackFile, RefusesFilesNoAuthorCouldHaveWritten) {
  const std::string one_key = encode_track_file({{1, 1.0f, Step}});
  const std::pair<std::string, const char*> cases[] = {
      {"", "too short for a key count (0 bytes)"},
      {bytes({1, 0, 0}), "too short for a key count (3 bytes)"},
      {bytes({0xFF, 0xFF, 0xFF, 0xFF}), "negative key count -1"},
      {one_key.substr(0, 12), "1 key promised, 0 present"},
      {bytes({0xFF, 0xFF, 0xFF, 0x7F}), "2147483647 keys promised, 0 present"},
      {one_key + "x", "1 byte after the last of 1 key"},
      {bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4}),
       "key 0 at row 0 has interpolation code 4, which is none of step, linear, smooth, ramp"},
      {bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF}),
       "key 0 at row 0 has interpolation code -1, which is none of step, linear, smooth, ramp"},
      {encode_track_file({{5, 1.0f, Step}, {5, 2.0f, Step}}), "key 1 at row 5 is not after the previous key's row 5"},
      {encode_track_file({{5, 1.0f, Step}, {4, 2.0f, Step}}), "key 1 at row 4 is not after the previous key's row 5"},
      {encode_track_file(rising_keys(MAX_TRACK_KEYS + 1)), "262145 keys, more than a track may hold (262144)"},
  };
  for (const auto& [file, message] : cases) {
    SCOPED_TRACE(message);
    std::vector<TrackKey> keys;
    std::string error;
    EXPECT_FALSE(decode_track_file(file, keys, error));
    EXPECT_EQ(error, message);
  }
}

TEST(TrackFile, NamesFilesAsTheShowOpensThem) {
  EXPECT_EQ(track_file_name("back.x"), "kestos/base_back.x.kesto");
  EXPECT_EQ(track_file_name("happy"), "kestos/base_happy.kesto");
}

}  // namespace
