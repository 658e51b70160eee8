// hallshow-capture's video path: the frames it hands the encoder against the show's own frames
// (drawn with every photo loaded at start-up, read plainly and converted by the reference below),
// the read-back, the conversion and the kept backdrop's copy on their own, and output names that a shell or ffmpeg would misread.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/frame_readback.h"
#include "app/kept_picture.h"
#include "app/offscreen_gl.h"
#include "app/start_show.h"
#include "app/swap_buffers.h"
#include "show/scene.h"
#include "tests/support/gl_harness.h"
#include "tools/capture/conversion_thread.h"
#include "tools/capture/yuv420.h"
#include "tools/process/child_process.h"

namespace {

using gltest::Frame;

// The conversion as yuv420.h defines it, pixel by pixel from a frame top row first.
std::vector<uint8_t> reference_yuv420(const Frame& f) {
  const int w = f.width, h = f.height;
  std::vector<uint8_t> out(size_t(w) * h * 3 / 2);
  const auto px = [&](int x, int y) { return &f.rgba[(size_t(y) * w + x) * 4]; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = px(x, y);
      out[size_t(y) * w + x] = uint8_t(16 + ((5983 * p[0] + 20127 * p[1] + 2032 * p[2] + 16384) >> 15));
    }
  uint8_t* u = out.data() + size_t(w) * h;
  uint8_t* v = u + size_t(w / 2) * (h / 2);
  for (int y = 0; y < h / 2; ++y)
    for (int x = 0; x < w / 2; ++x) {
      int r = 0, g = 0, b = 0;
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          const uint8_t* p = px(2 * x + dx, 2 * y + dy);
          r += p[0], g += p[1], b += p[2];
        }
      // Floor division by 2^18, written out rather than shifted: the sums may be negative.
      const auto rounded = [](int sum) {
        const int n = sum + (1 << 17);
        return n >= 0 ? n / (1 << 18) : -((-n + (1 << 18) - 1) / (1 << 18));
      };
      u[size_t(y) * (w / 2) + x] = uint8_t(128 + rounded(-6596 * r - 22188 * g + 28784 * b));
      v[size_t(y) * (w / 2) + x] = uint8_t(128 + rounded(28784 * r - 26145 * g - 2639 * b));
    }
  return out;
}

Frame flipped(const Frame& f) {
  Frame out = f;
  const size_t row = size_t(f.width) * 4;
  for (int y = 0; y < f.height; ++y)
    std::copy_n(&f.rgba[size_t(f.height - 1 - y) * row], row, &out.rgba[size_t(y) * row]);
  return out;
}

// Greys, the primaries, the extremes and noise, at widths with and without a tail beyond the
// blocks the SIMD path takes eight at a time.
TEST(Yuv420, EveryPathGivesTheReferenceBytes) {
  std::mt19937 random(7);
  for (const auto& [w, h] : {std::pair{2, 2}, {18, 6}, {34, 2}, {320, 4}, {1920, 8}}) {
    Frame f{w, h, std::vector<uint8_t>(size_t(w) * h * 4)};
    for (size_t i = 0; i < f.rgba.size(); ++i) {
      const uint32_t r = random();
      f.rgba[i] = r % 3 == 0 ? uint8_t(r >> 8) : r % 3 == 1 ? 255 : 0;
    }
    // Solid primaries and greys in the first row of blocks: the ends of every range.
    const uint8_t solid[][3] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {128, 128, 128}};
    for (int x = 0; x < std::min(w / 2, 6); ++x)
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) std::copy_n(solid[x], 3, &f.rgba[(size_t(dy) * w + 2 * x + dx) * 4]);
    std::vector<uint8_t> fast(yuv420_bytes(w, h));
    const Frame bottom_up = flipped(f);
    rgba_bottom_up_to_yuv420(bottom_up.rgba.data(), w, h, fast.data());
    EXPECT_EQ(fast, reference_yuv420(f)) << w << "x" << h;
    if (w >= 12) {  // black 16/128/128, white 235, pure red's Cr 240, pure blue's Cb 240
      EXPECT_EQ(fast[0], 16);
      EXPECT_EQ(fast[2], 235);
      const uint8_t* u = fast.data() + size_t(w) * h;
      const uint8_t* v = u + size_t(w / 2) * (h / 2);
      EXPECT_EQ(u[0], 128);
      EXPECT_EQ(v[0], 128);
      EXPECT_EQ(v[2], 240);
      EXPECT_EQ(u[4], 240);
      EXPECT_EQ(u[5], 128);
    }
  }
}

// The frames of a YUV4MPEG2 file with I420 frames of width × height.
std::vector<std::vector<uint8_t>> read_y4m(const std::string& path, int width, int height) {
  std::ifstream file(path, std::ios::binary);
  std::string header;
  std::getline(file, header);
  EXPECT_EQ(header.rfind("YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " ", 0), 0u)
      << header;
  std::vector<std::vector<uint8_t>> frames;
  std::string marker;
  while (std::getline(file, marker) && marker == "FRAME") {
    std::vector<uint8_t> frame(yuv420_bytes(width, height));
    if (!file.read(reinterpret_cast<char*>(frame.data()), std::streamsize(frame.size()))) break;
    frames.push_back(std::move(frame));
  }
  return frames;
}

ChildResult capture(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), CAPTURE_PATH);
  return run_program(arguments);
}

// A solid picture, saved by the harness's PNG writer or, for a JPEG, by ffmpeg.
void solid_photo(const std::string& path, gltest::Rgba colour, int size = 48, bool transparent_corner = false) {
  Frame f{size, size, {}};
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const bool corner = transparent_corner && x < size / 3 && y < size / 3;
      const uint8_t shade = uint8_t(x * 255 / size);  // a gradient shows the texture's filtering
      f.rgba.insert(f.rgba.end(), {colour.r, uint8_t((colour.g + shade) / 2), colour.b, corner ? uint8_t(0) : colour.a});
    }
  if (path.ends_with(".png")) {
    ASSERT_TRUE(f.save_png(path));
  } else {
    ASSERT_TRUE(f.save_png("photo.tmp.png"));
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i photo.tmp.png -frames:v 1 " + path).c_str()), 0);
    std::filesystem::remove("photo.tmp.png");
  }
}

class CaptureVideoTest : public gltest::GlTest {
 protected:
  ScreenSize screen_size() const override { return {320, 180}; }
};

// A picture of rectangles in random colours, a different one each call: scissored clears.
void draw_random_rectangles(std::mt19937& random, int width, int height) {
  const auto channel = [&] { return float(random() % 256) / 255.0f; };
  glClearColor(channel(), channel(), channel(), channel());
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  for (int i = 0; i < 12; ++i) {
    const int x = int(random() % uint32_t(width)), y = int(random() % uint32_t(height));
    glScissor(x, y, 1 + int(random() % uint32_t(width - x)), 1 + int(random() % uint32_t(height - y)));
    glClearColor(channel(), channel(), channel(), channel());
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glDisable(GL_SCISSOR_TEST);
}

GLint pack_buffer_bound() {
  GLint name = -1;
  glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &name);
  return name;
}

// Frames read back two in flight, each mapped a frame late and converted on the conversion thread
// while the next is drawn, as the capture hands them to the encoder: every one equals the plain read
// of its frame converted by the reference, in order. The drawing code never finds a pack buffer
// bound or its pixel store changed.
TEST_F(CaptureVideoTest, TheAsyncReadBackAndConversionGiveThePlainReadsPixels) {
  const int w = 320, h = 180;
  std::string error;
  const std::unique_ptr<FrameReadback> readback = FrameReadback::create(w, h, 2, error);
  ASSERT_TRUE(readback) << error;
  std::vector<std::vector<uint8_t>> written;
  ConversionThread converter(w, h, [&](const uint8_t* yuv, size_t bytes) {
    written.emplace_back(yuv, yuv + bytes);
    return true;
  });
  glPixelStorei(GL_PACK_ALIGNMENT, 8);
  std::mt19937 random(11);
  std::vector<std::vector<uint8_t>> expected;
  bool converting = false;
  const auto free_oldest = [&] {
    ASSERT_TRUE(converter.wait());
    readback->release_oldest();
    converting = false;
  };
  for (int k = 0; k < 7; ++k) {
    draw_random_rectangles(random, w, h);
    expected.push_back(reference_yuv420(drawn()));
    if (converting) free_oldest();
    ASSERT_TRUE(readback->start());
    if (readback->in_flight() == readback->buffers()) {
      EXPECT_FALSE(readback->start()) << "a third read with two buffers";
      const uint8_t* pixels = readback->map_oldest();
      ASSERT_NE(pixels, nullptr);
      converter.convert(pixels);
      converting = true;
    }
    EXPECT_EQ(pack_buffer_bound(), 0);
  }
  while (readback->in_flight() > 0) {
    if (converting) free_oldest();
    if (readback->in_flight() == 0) break;
    converter.convert(readback->map_oldest());
    converting = true;
  }
  if (converting) free_oldest();
  GLint alignment = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 8);
  EXPECT_EQ(pack_buffer_bound(), 0);
  ASSERT_EQ(written.size(), expected.size());
  for (size_t k = 0; k < written.size(); ++k) EXPECT_EQ(written[k], expected[k]) << "frame " << k;
}

// A kept picture comes back byte for byte over whatever was drawn since, scissor test or not, and
// leaves the scissor test as it found it.
TEST_F(CaptureVideoTest, AKeptPictureComesBackByteForByte) {
  std::string error;
  const std::unique_ptr<KeptPicture> kept = KeptPicture::create(320, 180, error);
  ASSERT_TRUE(kept) << error;
  std::mt19937 random(5);
  draw_random_rectangles(random, 320, 180);
  const Frame original = drawn();
  kept->keep();
  for (const bool scissor : {false, true}) {
    draw_random_rectangles(random, 320, 180);
    ASSERT_NE(drawn(), original);
    glScissor(10, 10, 20, 20);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    kept->put_back();
    EXPECT_EQ(bool(glIsEnabled(GL_SCISSOR_TEST)), scissor);
    glDisable(GL_SCISSOR_TEST);
    EXPECT_EQ(drawn(), original) << (scissor ? "with" : "without") << " the scissor test";
  }
}

// Photos come and go (0 twice, with its texture given back between), the backdrop while "happy"
// is 1, photo 43 with 40's file, a layer shrunk to nothing whose photo never loads: every frame
// handed to the encoder equals the show's frame at its row, drawn with all photos loaded at
// start-up, read plainly and converted by the reference. And the capture held only a few photos.
TEST_F(CaptureVideoTest, TheEncodersFramesAreTheShowsFramesWithEveryPhotoLoaded) {
  gltest::TempDir folder;
  std::filesystem::create_directory("hall.photo");
  solid_photo("hall.photo/00.jpg", {200, 40, 40, 255});
  solid_photo("hall.photo/01.png", {40, 200, 40, 255}, 40, true);
  solid_photo("hall.photo/02.png", {40, 40, 200, 255}, 64);
  solid_photo("hall.photo/17.jpg", {90, 90, 30, 255});
  solid_photo("hall.photo/40.png", {220, 220, 220, 160}, 32);
  gltest::write_track_file("back.n", {{0, 0, Step}, {8, 1, Step}, {16, 17, Step}, {24, 2, Step}, {32, 0, Step}});
  gltest::write_track_file("back.x", {{0, -1, Linear}, {40, 1, Step}});
  gltest::write_track_file("back.rotz", {{0, 0, Smooth}, {40, 200, Step}});
  gltest::write_constant_track("back.r", 1), gltest::write_constant_track("back.g", 1);
  gltest::write_constant_track("back.b", 1);
  gltest::write_track_file("beard.n", {{0, 40, Linear}, {30, 44, Step}});
  gltest::write_track_file("beard.scale", {{0, -0.5f, Step}, {20, -1, Step}, {28, -0.3f, Step}});
  gltest::write_constant_track("beard.r", 1), gltest::write_constant_track("beard.g", 0.8f);
  gltest::write_constant_track("beard.b", 1);
  gltest::write_track_file("happy", {{0, 0, Step}, {12, 1, Step}, {30, 0, Step}});

  const ChildResult run = capture({"--size", "320x180", "--fps", "20", "--to", "2s", "--stats", "--output", "v.y4m"});
  ASSERT_EQ(run.exit_code, 0) << run.errors;
  const std::vector<std::vector<uint8_t>> frames = read_y4m("v.y4m", 320, 180);
  ASSERT_EQ(frames.size(), 40u);
  // Six photos shown, one of them twice, never all of them at once; the backdrop, shown from
  // row 12 to 29, drawn once and copied into the 17 frames after.
  EXPECT_NE(run.errors.find("catalogue photos: 7 loads, at most 4 held at once"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("the backdrop drawn 1 and copied 17 times"), std::string::npos) << run.errors;

  prepare_show();  // every catalogue photo loaded, as the show loads them
  for (size_t k = 0; k < frames.size(); ++k) {
    ASSERT_EQ(render_frame_at(double(k), swap_buffers), FrameResult::Presented);
    const Frame shown = presented();
    ASSERT_EQ(frames[k], reference_yuv420(shown)) << "frame " << k;
  }
}

// Names a shell would split or expand, and names ffmpeg would take for options or protocols, are
// written as they are named.
TEST(CaptureOutputNames, AreWrittenAsNamed) {
  gltest::TempDir folder;
  gltest::write_constant_track("back.r", 1);
  ASSERT_EQ(std::system("ffmpeg -v error -y -f lavfi -i sine=duration=0.5 -c:a libmp3lame e12.mp3"), 0);
  for (const std::string name : {"-y.mp4", "-frames.y4m", "a \"quoted\" name with 'spaces'.mp4", "file:x.mp4"}) {
    const ChildResult run = capture({"--size", "64x36", "--fps", "10", "--output", name});
    EXPECT_EQ(run.exit_code, 0) << name << ": " << run.errors;
    EXPECT_TRUE(std::filesystem::is_regular_file(name)) << name;
    EXPECT_GT(std::filesystem::file_size(name), 100u) << name;
  }
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(".")) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"-frames.y4m", "-y.mp4", "a \"quoted\" name with 'spaces'.mp4", "e12.mp3",
                                            "file:x.mp4", "kestos"}));
}

// A FIFO (or a device) is written into and left as it is, never renamed over or removed.
TEST(CaptureOutputNames, AFifoIsWrittenIntoAndKept) {
  gltest::TempDir folder;
  gltest::write_constant_track("back.g", 1);
  ASSERT_EQ(mkfifo("frame.png", 0600), 0);
  auto read = std::async(std::launch::async, [] {
    std::ifstream fifo("frame.png", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(fifo), {});
  });
  const ChildResult run = capture({"--at", "0", "--size", "64x36", "--output", "frame.png"});
  EXPECT_EQ(run.exit_code, 0) << run.errors;
  EXPECT_EQ(read.get().substr(1, 3), "PNG");
  struct stat st;
  ASSERT_EQ(stat("frame.png", &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

}  // namespace
