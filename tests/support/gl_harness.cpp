#include "tests/support/gl_harness.h"

#include <GL/gl.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "app/letterbox.h"
#include "app/offscreen_gl.h"
#include "app/swap_buffers.h"
#include "tools/capture/frame_png.h"

namespace gltest {

std::ostream& operator<<(std::ostream& out, const Rgba& c) {
  return out << "rgba(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ", " << int(c.a) << ")";
}

bool near(const Rgba& a, const Rgba& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance && std::abs(a.a - b.a) <= tolerance;
}

std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "rect(x " << r.x << ", y " << r.y << ", " << r.width << " x " << r.height << ")";
}

// ---------------------------------------------------------------------------------------------
// Frame

Rgba Frame::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) {
    ADD_FAILURE() << "pixel (" << x << ", " << y << ") lies outside the " << width << " x " << height << " frame";
    return {};
  }
  const uint8_t* p = rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

int Frame::count(const std::function<bool(Rgba)>& match) const {
  int n = 0;
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) n += match({rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]});
  return n;
}

Rect Frame::bounds(const std::function<bool(Rgba)>& match) const {
  int left = width, top = height, right = -1, bottom = -1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
      if (!match({p[0], p[1], p[2], p[3]})) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return {};
  return {left, top, right - left + 1, bottom - top + 1};
}

int Frame::count_of(Rgba colour, int tolerance) const {
  return count([&](Rgba c) { return near(c, colour, tolerance); });
}

Rect Frame::bounds_of(Rgba colour, int tolerance) const {
  return bounds([&](Rgba c) { return near(c, colour, tolerance); });
}

bool Frame::save_png(const std::filesystem::path& path) const {
  return write_frame_png(path.string(), width, height, rgba);
}

Frame read_png(const std::filesystem::path& path) {
  Frame frame;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return frame;
  image.format = PNG_FORMAT_RGBA;
  frame.width = static_cast<int>(image.width);
  frame.height = static_cast<int>(image.height);
  frame.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, frame.rgba.data(), 0, nullptr)) return {};
  return frame;
}

// ---------------------------------------------------------------------------------------------
// GlHarness

GlHarness::GlHarness(int screen_width, int screen_height) {
  gl_ = OffscreenGl::create(screen_width, screen_height, error_);
  if (gl_) apply_show_state();
}

GlHarness::~GlHarness() = default;

int GlHarness::width() const { return gl_ ? gl_->width() : 0; }
int GlHarness::height() const { return gl_ ? gl_->height() : 0; }

void GlHarness::apply_show_state() {
  set_letterbox_viewport(gl_->width(), gl_->height());
  glClearDepth(1.0);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glColor4f(1, 1, 1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void GlHarness::make_current() { gl_->make_current(); }

Frame GlHarness::drawn() const { return {gl_->width(), gl_->height(), gl_->read_back()}; }
Frame GlHarness::presented() const { return {gl_->width(), gl_->height(), gl_->front()}; }
uint64_t GlHarness::presented_frames() const { return gl_->presented_frames(); }

// ---------------------------------------------------------------------------------------------
// GlTest

void GlTest::SetUp() {
  const ScreenSize size = screen_size();
  harness_ = std::make_unique<GlHarness>(size.width, size.height);
  ASSERT_TRUE(harness_->ok()) << harness_->error();
  set_swap_function(present_offscreen_frame);
}

void GlTest::TearDown() {
  set_swap_function(nullptr);
  if (!harness_ || !harness_->ok()) return;
  if (HasFailure()) {
    save_for_inspection(harness_->drawn(), "drawn");
    if (harness_->presented_frames() > 0) save_for_inspection(harness_->presented(), "presented");
    for (const auto& [label, frame] : kept_) save_for_inspection(frame, label);
  }
  harness_.reset();
}

void GlTest::keep_on_failure(const Frame& frame, std::string label) { kept_.emplace_back(std::move(label), frame); }

std::filesystem::path output_folder() {
  if (const char* chosen = std::getenv("HALLSHOW_TEST_OUTPUT"); chosen && *chosen) return chosen;
  std::error_code error;
  const std::filesystem::path binary = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::filesystem::temp_directory_path() / "hallshow-test-output";
  return binary.parent_path() / "test-output";
}

std::filesystem::path save_for_inspection(const Frame& frame, std::string_view label) {
  std::string name = "frame";
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
    name = std::string(info->test_suite_name()) + "." + info->name();
  }
  // Parameterised tests have slashes in their names.
  std::replace(name.begin(), name.end(), '/', '_');
  const std::filesystem::path folder = output_folder();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::filesystem::path path = folder / (name + "." + std::string(label) + ".png");
  if (frame.save_png(path)) {
    std::cout << "[ picture  ] " << path.string() << "\n";
  } else {
    std::cout << "[ picture  ] could not write " << path.string() << "\n";
  }
  return path;
}

// ---------------------------------------------------------------------------------------------
// Track files

namespace {
void put_le32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
}  // namespace

std::vector<uint8_t> track_file_bytes(const std::vector<Key>& keys) {
  std::vector<uint8_t> bytes;
  put_le32(bytes, static_cast<uint32_t>(keys.size()));
  for (const Key& key : keys) {
    put_le32(bytes, static_cast<uint32_t>(key.row));
    uint32_t bits;
    std::memcpy(&bits, &key.value, sizeof bits);
    put_le32(bytes, bits);
    bytes.push_back(static_cast<uint8_t>(key.type));
  }
  return bytes;
}

void write_track_file(std::string_view name, const std::vector<Key>& keys) {
  std::filesystem::create_directories("kestos");
  const std::string path = "kestos/base_" + std::string(name) + ".kesto";
  const std::vector<uint8_t> bytes = track_file_bytes(keys);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

void write_constant_track(std::string_view name, float value) { write_track_file(name, {{0, value, 0}}); }

}  // namespace gltest
