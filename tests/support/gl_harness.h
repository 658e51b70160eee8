#pragma once
// Drawing tests without a display: an offscreen GL context (Mesa's software renderer when there is
// no GPU) set up as the show sets up its window, pixels read back top row first, and the frame
// saved as a PNG beside the test binary when a test fails, so a person can look at it.
//
// Typical use:
//
//   #include "tests/support/gl_harness.h"
//
//   class SceneTest : public gltest::GlTest {};          // a 640×360 screen by default
//
//   TEST_F(SceneTest, BlackSquareInTheMiddle) {
//     gltest::TempDir folder;                             // a fresh folder, and the working directory
//     gltest::write_constant_track("back.r", 1.0f);       // kestos/base_back.r.kesto
//     bind_tracks();
//     render_frame_at(0.0, swap_buffers);                 // presents through the harness
//     const gltest::Frame frame = presented();            // the last presented frame
//     EXPECT_EQ(frame.at(320, 180), (gltest::Rgba{255, 0, 0, 255}));
//     EXPECT_EQ(presented_frames(), 1u);
//   }
//
// GlTest::SetUp makes the context for screen_size() (override it for another screen), applies
// the letterbox viewport and the show's GL state (apply_show_state), and installs the context's
// present function with set_swap_function. When the test has failed, TearDown writes the back
// buffer and the last presented frame to tests/<folder>/test-output/<Suite>.<Test>.{drawn,presented}.png
// and prints their paths; HALLSHOW_TEST_OUTPUT names another folder.
//
// Without the fixture: GlHarness harness(800, 450); ASSERT_TRUE(harness.ok()) << harness.error();
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/temp_dir.h"

class OffscreenGl;

namespace gltest {

struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 0;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};
std::ostream& operator<<(std::ostream& out, const Rgba& c);
// Every channel within `tolerance` of the other's (software rasterisers round colours differently).
bool near(const Rgba& a, const Rgba& b, int tolerance = 2);

// A pixel rectangle, x and y from the top-left corner, right and bottom exclusive; empty when
// width or height is 0.
struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  int right() const { return x + width; }
  int bottom() const { return y + height; }
  bool empty() const { return width <= 0 || height <= 0; }
  friend bool operator==(const Rect&, const Rect&) = default;
};
std::ostream& operator<<(std::ostream& out, const Rect& r);

// One picture, RGBA, row 0 at the top.
struct Frame {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;

  Rgba at(int x, int y) const;  // x from the left, y from the top; must lie inside
  // How many pixels, and the smallest rectangle around all pixels, for which `match` holds.
  int count(const std::function<bool(Rgba)>& match) const;
  Rect bounds(const std::function<bool(Rgba)>& match) const;
  int count_of(Rgba colour, int tolerance = 2) const;
  Rect bounds_of(Rgba colour, int tolerance = 2) const;
  // The frame as an 8-bit RGBA PNG; false when the file cannot be written.
  bool save_png(const std::filesystem::path& path) const;
  friend bool operator==(const Frame&, const Frame&) = default;
};

// A PNG file as a top-row-first RGBA frame; an empty frame when it cannot be read.
Frame read_png(const std::filesystem::path& path);

// An offscreen context as the show's window would be: a screen of width × height pixels.
class GlHarness {
 public:
  GlHarness(int screen_width, int screen_height);
  ~GlHarness();
  bool ok() const { return gl_ != nullptr; }
  const std::string& error() const { return error_; }
  int width() const;
  int height() const;
  OffscreenGl& context() { return *gl_; }

  // The letterbox viewport and projection for the screen size, then the state the show has after
  // start-up: blending on (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), texturing on, depth test off, the
  // modelview matrix current and identity, white current colour.
  void apply_show_state();
  // Makes this the current context again and the one present_offscreen_frame presents.
  void make_current();

  Frame drawn() const;      // the back buffer: everything drawn so far
  Frame presented() const;  // the last presented frame
  uint64_t presented_frames() const;

 private:
  std::unique_ptr<OffscreenGl> gl_;
  std::string error_;
};

// A fixture owning one GlHarness for each test, with the show's state applied and its present
// function installed as the swap; failed tests leave their pictures behind.
class GlTest : public ::testing::Test {
 protected:
  struct ScreenSize {
    int width, height;
  };
  virtual ScreenSize screen_size() const { return {640, 360}; }

  void SetUp() override;
  void TearDown() override;

  GlHarness& gl() { return *harness_; }
  Frame drawn() const { return harness_->drawn(); }
  Frame presented() const { return harness_->presented(); }
  uint64_t presented_frames() const { return harness_->presented_frames(); }
  // Also keep `frame` under `label` if the test fails.
  void keep_on_failure(const Frame& frame, std::string label);

 private:
  std::unique_ptr<GlHarness> harness_;
  std::vector<std::pair<std::string, Frame>> kept_;
};

// Where pictures of failed tests go: $HALLSHOW_TEST_OUTPUT, or "test-output" beside the test binary.
std::filesystem::path output_folder();
// Saves `frame` as <output_folder>/<Suite>.<Test>.<label>.png and prints the path; returns it.
std::filesystem::path save_for_inspection(const Frame& frame, std::string_view label);

// The show reads its files from the working directory: gltest::TempDir folder; enters a fresh one.
using ::TempDir;

// One key of a track file: int32 row, float value, int8 type (a KeyType code).
struct Key {
  int32_t row;
  float value;
  int8_t type = 0;
};
// The file "kestos/base_<name>.kesto" in the working directory (kestos/ created when missing):
// int32 key count, then per key the row, the value and the type, little-endian, 9 bytes each.
void write_track_file(std::string_view name, const std::vector<Key>& keys);
// A track that reads `value` at every row: one Step key at row 0.
void write_constant_track(std::string_view name, float value);
// The bytes of a track file, for tests that build odd ones by hand.
std::vector<uint8_t> track_file_bytes(const std::vector<Key>& keys);

}  // namespace gltest
