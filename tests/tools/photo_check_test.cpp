// kesto check against the show itself: the numbers it says a track shows are the texture names the
// scene binds (NaN, infinities and values past 2^32 included), and a photo it calls readable is
// exactly one the show's loaders draw, whatever the file.
#include "tools/authoring/photo_check.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "photos/texture_loaders.h"
#include "tests/photos/test_images.h"
#include "tests/support/bounded_call.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
constexpr float INF = std::numeric_limits<float>::infinity();
constexpr float NOT_A_NUMBER = std::numeric_limits<float>::quiet_NaN();

std::vector<std::string> messages(const std::vector<PhotoProblem>& problems) {
  std::vector<std::string> out;
  for (const PhotoProblem& p : problems) out.push_back(p.message);
  return out;
}

TEST(PhotoCheck, TellsTheNumbersTheShowBinds) {
  const TempDir show(TempDir::WorkingDirectory::Keep);
  const struct {
    const char* what;
    std::vector<TrackKey> keys;
    std::vector<std::string> expected;
  } cases[] = {
      // NaN, the infinities and any value beyond 64 bits bind texture 0, the photo of entry 0.
      {"not finite",
       {{0, NOT_A_NUMBER, Step}, {20, INF, Step}, {40, -INF, Linear}, {60, 1e30f, Step}, {80, 3, Step}},
       {"hall.photo/00.jpg is missing; back.n shows it from 0s", "hall.photo/03.png is missing; back.n shows it from 4s"}},
      // A value past 2^32 binds its low 32 bits: 2^32 is entry 0 again.
      {"past 2^32", {{0, 4294967296.0f, Step}}, {"hall.photo/00.jpg is missing; back.n shows it from 0s"}},
      // Into NaN, a linear key reads NaN from its own row on: entry 0, never 5.
      {"into NaN", {{0, 5, Linear}, {20, NOT_A_NUMBER, Step}}, {"hall.photo/00.jpg is missing; back.n shows it from 0s"}},
      {"below 0", {{0, -1.5f, Step}}, {"back.n shows -1 from 0s, outside the catalogue (0 to 43): the layer shows only its colour"}},
  };
  for (const auto& c : cases) {
    SyncTrack n{"back.n", c.keys};
    PhotoFileCache cache;
    EXPECT_EQ(messages(check_photos(show.path().string(), {&n}, cache)), c.expected) << c.what;
  }
}

// The files as they sit in a PNG entry (01.png, the file loader) and a JPEG entry (00.jpg, the
// picture loader); the check's verdict must be the loader's, and come back (the codecs loop for
// ever on a PNG that ends inside a chunk before its image data).
TEST(PhotoCheck, AgreesWithTheLoadersOnEveryFile) {
  const TempDir show(TempDir::WorkingDirectory::Keep);
  const fs::path made = show.path() / "made";
  fs::create_directories(made);
  const auto paint = [](int x, int y) { return teximg::Rgba{uint8_t(x * 9), uint8_t(y * 9), 90, 255}; };
  ASSERT_TRUE(teximg::write_png((made / "png").string(), 16, 16, paint));
  ASSERT_TRUE(teximg::write_jpeg((made / "jpeg").string(), 16, 16, paint));
  ASSERT_TRUE(teximg::write_bmp((made / "bmp").string(), 16, 16, paint));
  ASSERT_TRUE(teximg::write_gif((made / "gif").string(), 2, 2, {{255, 0, 0, 255}, {0, 0, 255, 255}}, {0, 1, 1, 0}, -1));
  const std::string png = file_contents(made / "png");
  const auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  const std::string cut_in_a_chunk = png.substr(0, 33) + be32(100) + "tEXtComment";
  const std::string huge = png.substr(0, 16) + be32(30000) + be32(30000) + png.substr(24);
  const std::string tiff = std::string("II*\0\x08\0\0\0", 8) + std::string(64, '\0');
  const std::string webp = "RIFF" + std::string("\x1A\0\0\0", 4) + "WEBPVP8L" + std::string(18, '\0');
  const struct {
    const char* what;
    std::string bytes;  // written as they are, unless a file of `made`
  } files[] = {{"png", ""}, {"jpeg", ""}, {"bmp", ""}, {"gif", ""},
               {"a PNG cut inside a chunk before its image data", cut_in_a_chunk},
               {"a PNG claiming 30000 x 30000", huge}, {"a TIFF", tiff}, {"a WebP", webp},
               {"text", "not a picture\n"}, {"empty", " "}, {"a FIFO", ""}};
  SyncTrack n{"back.n", {{0, 0, Step}, {20, 1, Step}}};
  for (const auto& f : files) {
    for (const char* name : {"01.png", "00.jpg"}) {
      const fs::path folder = show.path() / (std::string(name) + "-" + std::to_string(&f - files));
      const fs::path path = folder / "hall.photo" / name;
      fs::create_directories(path.parent_path());
      if (f.what == std::string("a FIFO"))
        ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
      else if (f.bytes.empty())
        fs::copy_file(made / f.what, path);
      else
        std::ofstream(path, std::ios::binary) << (f.what == std::string("empty") ? "" : f.bytes);
      const bool agree = returns_within(
          [&] {
            PhotoFileCache cache;
            bool check_reads = true;
            for (const std::string& m : messages(check_photos(folder.string(), {&n}, cache)))
              if (m.find(std::string(name) + " cannot be decoded") != std::string::npos) check_reads = false;
            const bool show_reads = (name[1] == '1' ? decode_file_texture(path.string())
                                                    : decode_picture_image(path.string(), 64))
                                        .kind != TextureImage::Kind::None;
            if (check_reads != show_reads) throw 0;
          },
          20, size_t(512) << 20);
      EXPECT_TRUE(agree) << f.what << " as " << name;
    }
  }
}

}  // namespace
