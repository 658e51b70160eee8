// Open photos on screen: drawn whole and upright, streamed under a small budget to exactly the
// frames of a show that holds every photo, in time, and never held up by a slow or hostile file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/swap_buffers.h"
#include "show/open_photos.h"
#include "show/scene.h"
#include "tests/photos/test_images.h"
#include "tests/support/gl_harness.h"

namespace {

using gltest::Key;
using gltest::Rgba;

// Red above, blue below, a green stripe down the left: a turned or mirrored photo shows it.
teximg::Painter marked(int width, int height) {
  return [=](int x, int y) {
    if (x < width / 6) return teximg::Rgba{0, 255, 0, 255};
    return y < height / 2 ? teximg::Rgba{255, 0, 0, 255} : teximg::Rgba{0, 0, 255, 255};
  };
}

void write_photo(uint32_t number, int width, int height, const teximg::Painter& paint) {
  std::filesystem::create_directories("hall.photo");
  ASSERT_TRUE(teximg::write_jpeg("hall.photo/" + std::to_string(number) + ".jpg", width, height, paint));
}

void white_layer(const char* layer) {
  for (const char* c : {".r", ".g", ".b"}) gltest::write_constant_track(std::string(layer) + c, 1.0f);
}

// Without tracks "beard" is a black square over "back".
void hide_beard() { gltest::write_constant_track("beard.scale", -1.0f); }

class OpenPhotosTest : public gltest::GlTest {
 protected:
  void TearDown() override {
    stop_open_photos();
    set_open_photos_wait(false);
    GlTest::TearDown();
  }
  // Tracks bound and the stream started on this folder's photos, as the show starts.
  void start(uint64_t budget = OPEN_PHOTO_BUDGET_BYTES,
             std::function<OpenPhotoImage(const std::string&, uint32_t)> decode = decode_open_photo) {
    bind_tracks();
    OpenPhotoSettings settings = open_photo_settings_for_context();
    settings.budget_bytes = budget;
    settings.decode = std::move(decode);
    restart_open_photos(settings);
  }
  gltest::Frame frame_at(double row) {
    render_frame_at(row, swap_buffers);
    return presented();
  }
};

}  // namespace

TEST_F(OpenPhotosTest, PhotosStandWholeAndUprightAtTheirOwnAspect) {
  gltest::TempDir folder;
  write_photo(44, 300, 200, marked(300, 200));
  write_photo(45, 200, 300, marked(200, 300));
  gltest::write_track_file("back.n", {{0, 44}, {10, 45}});
  white_layer("back");
  hide_beard();
  start();
  set_open_photos_wait(true);
  for (const auto& [row, aspect] : {std::pair{0.0, 1.5}, {10.0, 2.0 / 3}}) {
    const gltest::Frame frame = frame_at(row);
    keep_on_failure(frame, "row " + std::to_string(int(row)));
    const gltest::Rect photo = frame.bounds([](Rgba c) { return c.r + c.g + c.b > 60; });
    EXPECT_NEAR(double(photo.width) / photo.height, aspect, aspect * 0.02) << photo;
    // The long side is the layer's 2 units: 360 / 3.314 pixels a unit.
    EXPECT_NEAR(std::max(photo.width, photo.height), 217, 3);
    const int cx = photo.x + photo.width / 2;
    EXPECT_TRUE(gltest::near(frame.at(cx + photo.width / 4, photo.y + 5), {255, 0, 0, 255}, 60)) << "red on top";
    EXPECT_TRUE(gltest::near(frame.at(cx + photo.width / 4, photo.bottom() - 5), {0, 0, 255, 255}, 60));
    EXPECT_TRUE(gltest::near(frame.at(photo.x + 3, photo.y + photo.height / 2), {0, 255, 0, 255}, 60));
  }
}

TEST_F(OpenPhotosTest, ANumberWithoutAFileShowsTheTrackColourWithOrWithoutOpenPhotos) {
  for (const bool others : {false, true}) {
    gltest::TempDir folder;
    if (others) write_photo(44, 30, 20, marked(30, 20));
    gltest::write_track_file("back.n", {{0, 50}});
    gltest::write_constant_track("back.g", 1.0f);
    hide_beard();
    start();
    ASSERT_EQ(open_photo_stream() != nullptr, others);
    const gltest::Frame frame = frame_at(0);
    EXPECT_EQ(frame.bounds_of({0, 255, 0, 255}), (gltest::Rect{211, 71, 218, 218})) << "others: " << others;
  }
}

TEST_F(OpenPhotosTest, StreamedUnderASmallBudgetFramesEqualThoseWithEveryPhotoHeld) {
  gltest::TempDir folder;
  // Twelve photos of several shapes, shown in a pattern that comes back to them, on both layers.
  for (uint32_t i = 0; i < 12; ++i)
    write_photo(44 + i, 80 + 20 * (i % 3), 60 + 30 * (i % 4), [i](int x, int y) {
      return teximg::Rgba{uint8_t(20 * i), uint8_t(x * 3), uint8_t(y * 2), 255};
    });
  std::vector<Key> back, beard;
  for (int32_t row = 0, k = 0; row < 160; row += 6, ++k) {
    back.push_back({row, float(44 + (k * 5) % 12)});
    beard.push_back({row + 3, float(44 + (k * 7 + 3) % 12)});
  }
  gltest::write_track_file("back.n", back);
  gltest::write_track_file("beard.n", beard);
  gltest::write_track_file("beard.x", {{0, 1.2f}});
  gltest::write_track_file("back.scale", {{0, 0.5f, 1}, {160, -0.3f}});
  white_layer("back");
  white_layer("beard");

  std::vector<gltest::Frame> held;
  start();
  set_open_photos_wait(true);
  for (int row = 0; row < 160; row += 2) held.push_back(frame_at(row));
  stop_open_photos();

  const uint64_t budget = 600000;  // room for about six of the twelve photos
  start(budget);
  for (int row = 0; row < 160; row += 2) {
    const gltest::Frame frame = frame_at(row);
    ASSERT_EQ(frame, held[size_t(row / 2)]) << "row " << row;
  }
  EXPECT_GT(open_photo_stream()->counters().evictions, 0u);
  EXPECT_GT(open_photo_stream()->counters().decodes, 12u) << "photos came back after they were evicted";

  // The show itself never waits, and never holds more than the budget (a capture that must draw
  // a frame whose photos need more may).
  start(budget);
  for (double row = 0; row < 160; row += 0.5) {
    frame_at(row);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_LE(open_photo_stream()->counters().peak_held_bytes, budget);
}

TEST_F(OpenPhotosTest, ALinearRunThroughTwentyPhotosHasEachInTime) {
  gltest::TempDir folder;
  for (uint32_t n = 44; n <= 60; ++n) write_photo(n, 64, 48, marked(64, 48));
  gltest::write_track_file("back.n", {{0, 40, 1}, {200, 60}});
  white_layer("back");
  hide_beard();
  start();
  // Frames at 60 a second of music, drawn a little faster than that.
  for (double row = 0; row < 220; row += 1.0 / 3) {
    frame_at(row);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  const OpenPhotoCounters& c = open_photo_stream()->counters();
  EXPECT_EQ(c.misses, 0u);
  EXPECT_EQ(c.decodes, 17u);
}

TEST_F(OpenPhotosTest, AStuckDecoderNeverHoldsUpAFrame) {
  gltest::TempDir folder;
  write_photo(44, 64, 48, marked(64, 48));
  gltest::write_track_file("back.n", {{0, 44}});
  gltest::write_constant_track("back.b", 1.0f);
  hide_beard();
  std::atomic<bool> release{false};
  start(OPEN_PHOTO_BUDGET_BYTES, [&](const std::string& path, uint32_t side) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return decode_open_photo(path, side);
  });
  // Drawn as a missing photo: the layer's colour, at the photo's shape (4:3).
  const auto missing = [](const gltest::Frame& frame) {
    const gltest::Rect r = frame.bounds_of({0, 0, 255, 255});
    return r.width == 218 && std::abs(r.height - 218 * 3 / 4) <= 2;
  };
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(missing(frame_at(i * 0.25)));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(open_photo_stream()->counters().frames_with_miss, 20u);
  release = true;
  set_open_photos_wait(true, 2000);
  EXPECT_FALSE(missing(frame_at(5)));
}

TEST_F(OpenPhotosTest, AHiddenLayerWhosePhotoIsNotReadyIsNoMiss) {
  gltest::TempDir folder;
  write_photo(44, 64, 48, marked(64, 48));
  gltest::write_track_file("back.n", {{0, 44}});
  gltest::write_track_file("back.scale", {{0, -1}, {20, 0}});  // nothing drawn before row 20
  white_layer("back");
  hide_beard();
  std::atomic<bool> release{false};
  start(OPEN_PHOTO_BUDGET_BYTES, [&](const std::string& path, uint32_t side) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return decode_open_photo(path, side);
  });
  for (double row = 0; row < 10; row += 0.5) frame_at(row);
  const OpenPhotoCounters& c = open_photo_stream()->counters();
  EXPECT_EQ(c.misses, 0u);
  EXPECT_EQ(c.frames_with_miss, 0u);
  EXPECT_EQ(c.unplanned_draws, 20u);
  frame_at(20);  // seen from here on, and still not decoded
  EXPECT_EQ(c.misses, 1u);
  EXPECT_EQ(c.frames_with_miss, 1u);
  release = true;
  set_open_photos_wait(true, 2000);
  frame_at(21);
  EXPECT_EQ(c.misses, 1u);
}

TEST_F(OpenPhotosTest, HostileFilesNeitherCrashNorBlock) {
  gltest::TempDir folder;
  std::filesystem::create_directory("hall.photo");
  teximg::write_bytes("hall.photo/44.jpg", {});
  ASSERT_EQ(mkfifo("hall.photo/45.jpg", 0600), 0);
  std::filesystem::create_symlink("/dev/zero", "hall.photo/46.jpg");
  teximg::write_bytes("hall.photo/47.jpg", {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0});
  teximg::write_bytes("hall.photo/48.jpg", {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0xFF, 0xFF, 0xFF, 0xFF, 1, 1, 0x11, 0, 0xFF, 0xD9});
  teximg::write_bytes("hall.photo/49.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 8, 6, 0, 0, 0});
  write_photo(50, 64, 48, marked(64, 48));
  std::vector<Key> keys;
  for (int32_t n = 44; n <= 50; ++n) keys.push_back({(n - 44) * 2, float(n)});
  gltest::write_track_file("back.n", keys);
  white_layer("back");
  hide_beard();
  for (const bool wait : {true, false}) {
    start();
    set_open_photos_wait(wait);
    for (double row = 0; row < 16; row += 0.5) frame_at(row);
    EXPECT_GT(open_photo_stream()->counters().unreadable_draws, 0u);
    set_open_photos_wait(true);
    EXPECT_GT(frame_at(13).count([](Rgba c) { return c.r > 200 && c.b < 60; }), 1000) << "50.jpg still shows";
  }
}

TEST_F(OpenPhotosTest, ASavedEditIsPlannedAnewAndTheOldPhotoLetGo) {
  gltest::TempDir folder;
  write_photo(44, 64, 48, [](int, int) { return teximg::Rgba{255, 0, 0, 255}; });
  write_photo(45, 64, 48, [](int, int) { return teximg::Rgba{0, 0, 255, 255}; });
  gltest::write_track_file("back.n", {{0, 44}});
  white_layer("back");
  hide_beard();
  start();
  // As the studio's first frame after a seek waits (longer here: a loaded machine decodes slowly).
  set_open_photos_wait(true, 10000);
  EXPECT_GT(frame_at(30).count_of({255, 0, 0, 255}, 10), 10000);
  gltest::write_track_file("back.n", {{0, 45}});
  bind_tracks();
  replan_open_photos();
  EXPECT_GT(frame_at(600).count_of({0, 0, 255, 255}, 10), 10000);
  frame_at(601);
  frame_at(602);
  EXPECT_EQ(open_photo_stream()->counters().resident, 1u) << "44 is no longer shown anywhere: released";
}
