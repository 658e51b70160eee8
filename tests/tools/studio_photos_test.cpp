// Photos changed while the studio runs: decoded again off the GL thread, then uploaded over their
// textures; a file that no longer decodes leaves the texture as it was.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/swap_buffers.h"
#include "show/scene.h"
#include "tests/support/gl_harness.h"
#include "tools/capture/frame_png.h"
#include "tools/studio/photo_reload.h"

namespace fs = std::filesystem;

namespace {

class StudioPhotosTest : public gltest::GlTest {};

void write_png(const char* path, uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> rgba;
  for (int i = 0; i < 16 * 16; ++i) rgba.insert(rgba.end(), {r, g, b, 255});
  ASSERT_TRUE(write_frame_png(path, 16, 16, rgba));
}

// Uploads what the worker has decoded, waiting for it up to 30 s (a busy machine, the sanitizers);
// the loads that failed to decode go into `failed`.
int wait_for_upload(PhotoReload& photos, std::vector<size_t>& failed) {
  failed.clear();
  for (int i = 0; i < 3000; ++i) {
    if (const int n = photos.upload_ready(&failed); n > 0 || !failed.empty()) return n;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

TEST_F(StudioPhotosTest, AChangedPhotoReplacesItsTexture) {
  gltest::TempDir folder;
  fs::create_directories("hall.photo");
  gltest::write_constant_track("back.n", 1);
  for (const char* c : {"back.r", "back.g", "back.b"}) gltest::write_constant_track(c, 1);
  gltest::write_constant_track("beard.scale", -1);  // the beard layer shrunk to nothing
  bind_tracks();
  PhotoReload photos;
  size_t load = photos.files().size();
  for (size_t i = 0; i < photos.files().size(); ++i)
    if (photos.files()[i] == "hall.photo/01.png") load = i;
  ASSERT_LT(load, photos.files().size());

  const struct {
    uint8_t r, g, b;
    bool valid;
  } steps[] = {{255, 0, 0, true}, {0, 0, 255, true}, {0, 255, 0, false}};
  gltest::Rgba shown{};
  for (const auto& s : steps) {
    if (s.valid)
      write_png("hall.photo/01.png", s.r, s.g, s.b);
    else
      std::ofstream("hall.photo/01.png", std::ios::binary) << "\x89PNG, cut short";
    photos.request(load);
    std::vector<size_t> failed;
    // A file that no longer decodes is told apart from one that replaced its picture.
    ASSERT_EQ(wait_for_upload(photos, failed), s.valid ? 1 : 0);
    EXPECT_EQ(failed, s.valid ? std::vector<size_t>{} : std::vector<size_t>{load});
    ASSERT_EQ(render_frame_at(0, swap_buffers), FrameResult::Presented);
    const gltest::Rgba centre = presented().at(320, 180);
    if (s.valid) {
      EXPECT_TRUE(gltest::near(centre, {s.r, s.g, s.b, 255})) << centre;
      shown = centre;
    } else {
      EXPECT_EQ(centre, shown);  // the last good picture stays
    }
  }
}

}  // namespace
