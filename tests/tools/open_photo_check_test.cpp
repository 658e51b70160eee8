// kesto check on photos from 44 up: what a layer shows that has no photo or cannot be read, and
// what no track shows, each said once, by the show's own plan.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/photos/test_images.h"
#include "tests/support/temp_dir.h"
#include "tools/authoring/open_photo_check.h"

namespace {

// What kesto check says of the photos from 44 up in the current folder, shown by `tracks`.
std::vector<std::string> check_messages(const std::vector<SyncTrack>& tracks) {
  std::vector<const SyncTrack*> handles;
  for (const SyncTrack& t : tracks) handles.push_back(&t);
  std::vector<std::string> messages;
  for (const PhotoProblem& p : check_open_photos(".", handles)) messages.push_back(p.message);
  return messages;
}

}  // namespace

TEST(OpenPhotoCheck, SaysWhatIsMissingUnreadableOrNeverShown) {
  TempDir dir;
  std::filesystem::create_directory("hall.photo");
  const auto grey = [](int, int) { return teximg::Rgba{128, 128, 128, 255}; };
  ASSERT_TRUE(teximg::write_jpeg("hall.photo/44.jpg", 360, 240, grey));
  teximg::write_bytes("hall.photo/45.jpg", {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0});  // a TIFF
  ASSERT_TRUE(teximg::write_jpeg("hall.photo/46.jpg", 30, 20, grey));
  ASSERT_TRUE(teximg::write_jpeg("hall.photo/60.jpg", 360, 240, grey));
  // back shows 44, 45, then runs through 47 to 52 (none there) and stops on 60; beard is hidden
  // while it names 46.
  std::vector<SyncTrack> tracks = {
      {"back.n", {{0, 44, Step}, {20, 45, Step}, {40, 47, Linear}, {100, 52.5f, Step}, {120, 60, Step}}},
      {"back.r", {{0, 1, Step}}},
      {"beard.n", {{0, 46, Step}}},
      {"beard.scale", {{0, -1, Step}}},
  };
  EXPECT_EQ(check_messages(tracks), (std::vector<std::string>{
                          "hall.photo/45.jpg cannot be shown: it is no JPEG or PNG (or no regular file); a layer "
                          "shows it from 1s",
                          "a layer shows 47 to 52 from 2s, with no photo in hall.photo/: the layer shows only its "
                          "colour",
                          "hall.photo/46.jpg: no track shows it",
                      }));
}

TEST(OpenPhotoCheck, SaysWhenAPhotoIsShownMoreThanTwiceItsSize) {
  TempDir dir;
  std::filesystem::create_directory("hall.photo");
  const auto grey = [](int, int) { return teximg::Rgba{128, 128, 128, 255}; };
  // At scale 0 a long side spans 652 pixels of a 1080p screen: 326 pixels may be shown so, 200
  // may not; at scale 1 the 326 may not either.
  ASSERT_TRUE(teximg::write_jpeg("hall.photo/44.jpg", 326, 200, grey));
  ASSERT_TRUE(teximg::write_jpeg("hall.photo/45.jpg", 150, 200, grey));
  std::vector<SyncTrack> tracks = {
      {"back.n", {{0, 44, Step}, {40, 45, Step}, {80, 44, Step}}},
      {"back.scale", {{0, 0, Step}, {80, 1, Step}}},
      {"back.r", {{0, 1, Step}}},
      {"beard.scale", {{0, -1, Step}}},
  };
  EXPECT_EQ(check_messages(tracks), (std::vector<std::string>{
                          "hall.photo/44.jpg is 326x200 pixels, and a layer shows it 4.0 times as large on a 1080p "
                          "screen from 0s: more than twice looks soft",
                          "hall.photo/45.jpg is 150x200 pixels, and a layer shows it 3.3 times as large on a 1080p "
                          "screen from 2s: more than twice looks soft",
                      }));
}
