// hallshow-make's photo files: a JPEG copied without its metadata decodes to the very same pixels
// and keeps its orientation, anything the show could not take as it is is refused by the copy and
// written anew, upright, at the size asked for; the show's own header reader sees each file at its
// photo's upright shape.
#include <gtest/gtest.h>
#include <unistd.h>

#include <vips/vips8>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <span>

#include "photos/open_photo_header.h"
#include "photos/photo_orientation.h"
#include "tests/support/file_contents.h"
#include "tools/make/photos/face_finder.h"
#include "tools/make/photos/jpeg_copy.h"
#include "tools/make/photos/photo_files.h"

namespace fs = std::filesystem;
using vips::VImage;

namespace {

class MakePhotos : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(start_photo_library("make_photos_test")); }
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("hallshow_make_photos_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A photo of `w` × `h` whose pixels tell where they are: red across, green down, a blue block in
  // the top left corner.
  std::string photo(const std::string& name, int w, int h, const std::string& options = "") {
    VImage xy = VImage::xyz(w, h);
    VImage r = xy.extract_band(0) * (255.0 / w), g = xy.extract_band(1) * (255.0 / h);
    VImage b = (xy.extract_band(0) < w / 4) & (xy.extract_band(1) < h / 4);
    VImage image = VImage::bandjoin(std::vector<VImage>{r, g, b}).cast(VIPS_FORMAT_UCHAR).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    const std::string path = (dir_ / name).string();
    image.write_to_file((path + options).c_str());
    return path;
  }

  fs::path dir_;
};

std::string bytes_of(const std::string& path) { return file_contents(path); }

VImage decoded(const std::string& bytes) {
  return VImage::new_from_buffer(bytes.data(), bytes.size(), "").copy_memory();
}

double max_difference(VImage a, VImage b) { return (a.cast(VIPS_FORMAT_INT) - b.cast(VIPS_FORMAT_INT)).abs().max(); }

uint8_t orientation_of(const std::string& bytes) {
  return photo_orientation(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

TEST_F(MakePhotos, CopiedJpegDecodesToTheSamePixelsKeepsItsOrientationAndNothingElse) {
  // A camera's JPEG: orientation 6, a comment, XMP, an sRGB profile, and a video after its end.
  VImage image = decoded(bytes_of(photo("camera.jpg", 640, 480, "[Q=90]")));
  image.set(VIPS_META_ORIENTATION, 6);
  image.set("exif-ifd0-Artist", "Someone Private");
  const std::string path = (dir_ / "camera.jpg").string();
  image.jpegsave(path.c_str(), VImage::option()->set("Q", 90)->set("profile", "srgb"));
  std::string original = bytes_of(path);
  ASSERT_NE(original.find("Someone Private"), std::string::npos);
  original += std::string("\0\0\0\x18" "ftypmp42", 12) + std::string(5000, 'v');

  const std::string copy = stripped_jpeg(original, 6);
  ASSERT_FALSE(copy.empty());
  EXPECT_EQ(copy.find("Someone Private"), std::string::npos);
  EXPECT_EQ(copy.find("ICC_PROFILE"), std::string::npos);
  EXPECT_EQ(copy.find("ftypmp42"), std::string::npos);
  EXPECT_LT(copy.size(), original.size() - 5000);
  EXPECT_EQ(orientation_of(copy), 6);
  EXPECT_EQ(max_difference(decoded(copy), decoded(original)), 0);
  EXPECT_EQ(orientation_of(stripped_jpeg(original, 1)), 1);
}

TEST_F(MakePhotos, CopyRefusesWhatTheShowCannotTakeAsItIs) {
  const std::string plain = bytes_of(photo("plain.jpg", 320, 240, "[Q=85]"));
  ASSERT_FALSE(stripped_jpeg(plain, 1).empty());
  // A progressive JPEG is copied too.
  EXPECT_FALSE(stripped_jpeg(bytes_of(photo("progressive.jpg", 320, 240, "[Q=85,interlace]")), 1).empty());
  VImage cmyk = decoded(plain).colourspace(VIPS_INTERPRETATION_CMYK);
  const std::string cmyk_path = (dir_ / "cmyk.jpg").string();
  cmyk.jpegsave(cmyk_path.c_str());
  // A profile whose red is not sRGB's (wider, like Display P3's): the copy would show other colours.
  const std::string tagged_path = (dir_ / "tagged.jpg").string();
  decoded(plain).jpegsave(tagged_path.c_str(), VImage::option()->set("profile", "srgb"));
  std::string wide = bytes_of(tagged_path);
  ASSERT_FALSE(stripped_jpeg(wide, 1).empty());
  const size_t xyz = wide.find("rXYZ");
  ASSERT_NE(xyz, std::string::npos);
  const uint32_t offset = (uint8_t(wide[xyz + 4]) << 24 | uint8_t(wide[xyz + 5]) << 16 | uint8_t(wide[xyz + 6]) << 8 | uint8_t(wide[xyz + 7]));
  const size_t profile_start = wide.find("ICC_PROFILE") + 14;
  wide[profile_start + offset + 9] ^= 0x20;  // the red colorant's X moves by an eighth
  const struct {
    const char* what;
    std::string bytes;
  } refused[] = {
      {"CMYK", bytes_of(cmyk_path)},
      {"cut short", plain.substr(0, plain.size() / 2)},
      {"no JPEG", "GIF89a" + std::string(100, 'x')},
      {"empty", ""},
      {"wide gamut", wide},
  };
  for (const auto& r : refused) EXPECT_TRUE(stripped_jpeg(r.bytes, 1).empty()) << r.what;
}

TEST_F(MakePhotos, WrittenUprightAtTheSizeAskedForAndSeenSoByTheShow) {
  struct Case {
    const char* what;
    std::string path;
    int orientation;  // given to the photo's EXIF
    int long_side;
    bool square;
    const char* file;
    int width, height;  // upright, as written
    bool copied;
  } cases[] = {
      {"small JPEG on its side", photo("side.jpg", 600, 400, "[Q=90]"), 6, 1000, false, "44.jpg", 400, 600, true},
      {"large JPEG", photo("large.jpg", 1600, 1200, "[Q=90]"), 1, 800, false, "45.jpg", 800, 600, false},
      {"large JPEG on its side", photo("large_side.jpg", 1600, 1200, "[Q=90]"), 8, 800, false, "46.jpg", 600, 800, false},
      {"PNG", photo("shot.png", 300, 500), 1, 1000, false, "47.png", 300, 500, false},
      {"square crop", photo("crop.jpg", 900, 600, "[Q=90]"), 1, 500, true, "48.jpg", 500, 500, false},
      // Not read whole into memory to be copied: 64 MiB past the picture's end.
      {"small JPEG with a long tail", photo("tail.jpg", 600, 400, "[Q=90]"), 1, 1000, false, "49.jpg", 600, 400, false},
  };
  std::filesystem::resize_file(cases[5].path, std::filesystem::file_size(cases[5].path) + (64u << 20));
  int number = 44;
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.orientation != 1) {
      VImage image = VImage::new_from_file(c.path.c_str()).copy_memory();
      image.set(VIPS_META_ORIENTATION, c.orientation);
      image.write_to_file(c.path.c_str());
    }
    PhotoCandidate candidate;
    std::string why;
    ASSERT_TRUE(probe_photo(c.path, true, candidate, why)) << why;
    WrittenPhoto written;
    ASSERT_TRUE(write_open_photo(candidate, number++, c.long_side, c.square, dir_.string(), written, why)) << why;
    EXPECT_EQ(written.file, c.file);
    EXPECT_EQ(written.width, c.width);
    EXPECT_EQ(written.height, c.height);
    EXPECT_EQ(written.copied, c.copied);
    const OpenPhotoHeader header = read_open_photo_header_of_file((dir_ / c.file).string());
    ASSERT_TRUE(header.usable());
    EXPECT_EQ(header.width(), static_cast<uint32_t>(c.width));
    EXPECT_EQ(header.height(), static_cast<uint32_t>(c.height));
    // Upright: the blue block of the photo's top left corner is at the top left of what the show
    // draws (the show turns a copy by its orientation; the others are turned already).
    VImage shown = VImage::new_from_file((dir_ / c.file).string().c_str()).autorot();
    if (!c.square && c.orientation == 1) {
      EXPECT_GT(shown.getpoint(2, 2)[2], 200) << "top left";
      EXPECT_LT(shown.getpoint(shown.width() - 3, shown.height() - 3)[2], 50) << "bottom right";
    }
  }
}

TEST_F(MakePhotos, ASquareCropKeepsItsSubject) {
  // A bird on a plain sky: a small saturated, detailed patch on a flat blue, where it is.
  const struct {
    const char* what;
    double subject_x;  // of the width
  } cases[] = {{"in the middle", 0.5}, {"to the left", 0.2}, {"to the right", 0.85}};
  int number = 60;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const int w = 1500, h = 1000, r = 90;
    const int cx = static_cast<int>(c.subject_x * w), cy = 450;
    VImage xy = VImage::xyz(w, h);
    VImage dx = xy.extract_band(0) - cx, dy = xy.extract_band(1) - cy;
    VImage in = (dx * dx + dy * dy) < r * r;
    // Stripes of orange and black inside the disk, sky blue around it.
    VImage stripes = (xy.extract_band(0) / 6).cast(VIPS_FORMAT_INT) % 2 == 0;
    VImage bird = VImage::bandjoin(std::vector<VImage>{stripes.ifthenelse(250, 20), stripes.ifthenelse(120, 10), stripes.ifthenelse(20, 10)});
    VImage sky = VImage::black(w, h, VImage::option()->set("bands", 3)) + std::vector<double>{90, 150, 220};
    const std::string path = (dir_ / (std::string("bird") + std::to_string(number) + ".jpg")).string();
    in.ifthenelse(bird, sky).cast(VIPS_FORMAT_UCHAR).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB)).jpegsave(path.c_str());
    PhotoCandidate candidate;
    std::string why;
    ASSERT_TRUE(probe_photo(path, true, candidate, why)) << why;
    WrittenPhoto written;
    ASSERT_TRUE(write_open_photo(candidate, number++, 1000, true, dir_.string(), written, why)) << why;
    // The whole bird in the square, and the square no further to a side than it needs to be.
    EXPECT_LE(written.crop_left, cx - r);
    EXPECT_GE(written.crop_left + written.crop_side, cx + r);
    const double centred = std::clamp(cx - written.crop_side / 2.0, 0.0, w - written.crop_side);
    EXPECT_NEAR(written.crop_left, centred, 0.35 * (w - written.crop_side)) << "pinned away from the bird";
  }
}

// Real faces, from skimage's sample images (scripts/fetch_photos.sh): the astronaut near the right
// end of a wide picture whose left holds a coffee cup, saturated and detailed, that draws libvips'
// attention; its middle is dark.
class MakeFaces : public MakePhotos {
 protected:
  static constexpr int W = 1536, H = 512;
  // Where the astronaut's face is, hair to chin, in the wide picture.
  static constexpr int FACE_LEFT = 1235 + 170, FACE_RIGHT = 1235 + 280, FACE_TOP = 50, FACE_BOTTOM = 175;

  void SetUp() override {
    MakePhotos::SetUp();
    const fs::path sources = fs::path(HALLSHOW_PHOTO_SOURCES) / "python3-skimage";
    if (!fs::exists(sources / "astronaut.png") || !fs::exists(sources / "coffee.png"))
      GTEST_SKIP() << "no sample photos in " << sources << " (scripts/fetch_photos.sh fetches them)";
    astronaut_ = VImage::new_from_file((sources / "astronaut.png").c_str()).extract_band(0, VImage::option()->set("n", 3));
    coffee_ = VImage::thumbnail((sources / "coffee.png").c_str(), 768, VImage::option()->set("height", H)).extract_band(0, VImage::option()->set("n", 3));
  }
  void TearDown() override {
    use_face_model("");
    MakePhotos::TearDown();
  }

  std::string picture(const std::string& name, bool with_face) {
    VImage wide = VImage::black(W, H, VImage::option()->set("bands", 3)).insert(coffee_, 0, 0);
    if (with_face) wide = wide.insert(astronaut_, 1235, 0);
    const std::string path = (dir_ / name).string();
    wide.cast(VIPS_FORMAT_UCHAR).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB)).jpegsave(path.c_str());
    return path;
  }

  static bool face_whole(const CroppedPhoto& square) {
    return square.crop_left <= FACE_LEFT && square.crop_left + square.crop_width >= FACE_RIGHT &&
           square.crop_top <= FACE_TOP && square.crop_top + square.crop_height >= FACE_BOTTOM;
  }

  VImage astronaut_, coffee_;
};

TEST_F(MakeFaces, ASquareHoldsTheFaceWholeWhereAttentionAloneLeavesItOut) {
  const std::string path = picture("astronaut.jpg", true);
  std::string why;
  for (int side : {512, 300}) {
    SCOPED_TRACE(side);
    CroppedPhoto square;
    ASSERT_TRUE(make_square(path, side, square, why)) << why;
    ASSERT_EQ(square.side, side);
    EXPECT_TRUE(face_whole(square)) << "crop from " << square.crop_left << " to " << square.crop_left + square.crop_width;
    // Near the right edge: the square as far to it as the face needs, no further.
    EXPECT_GE(square.crop_left + square.crop_width, W - 60);
  }
  // Without the model (opencv-data not installed) the same photo is cropped by attention, without
  // an error: this picture is one where attention alone leaves the face out.
  use_face_model((dir_ / "no-such-model.xml").string());
  CroppedPhoto square;
  ASSERT_TRUE(make_square(path, 512, square, why)) << why;
  EXPECT_EQ(square.side, 512);
  EXPECT_FALSE(face_whole(square)) << "the picture does not tell faces from attention";
}

TEST_F(MakeFaces, WithoutAFaceTheCropIsAttentions) {
  const std::string path = picture("coffee.jpg", false);
  std::string why;
  CroppedPhoto with_model, without;
  ASSERT_TRUE(make_square(path, 512, with_model, why)) << why;
  use_face_model((dir_ / "no-such-model.xml").string());
  ASSERT_TRUE(make_square(path, 512, without, why)) << why;
  EXPECT_EQ(with_model.crop_left, without.crop_left);
  EXPECT_EQ(with_model.crop_top, without.crop_top);
  EXPECT_LT(with_model.crop_left, 768 - 256) << "attention should find the cup";
}

TEST_F(MakeFaces, SeveralThreadsAtOnceFindTheSameFace) {
  const std::string path = picture("astronaut.jpg", true);
  std::vector<double> lefts(6, -1);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < lefts.size(); ++i)
    threads.emplace_back([&, i] {
      CroppedPhoto square;
      std::string why;
      if (make_square(path, 400, square, why)) lefts[i] = square.crop_left;
    });
  for (std::thread& t : threads) t.join();
  for (double left : lefts) {
    EXPECT_EQ(left, lefts[0]);
    EXPECT_TRUE(left <= FACE_LEFT && left + H >= FACE_RIGHT) << left;
  }
}

TEST_F(MakePhotos, ErrorsAreTheirOwnFilesEvenReadAtOnce) {
  // Damaged photos of three kinds read again and again on three threads at once: each error is
  // the one its own file gave, never another's, never none.
  const std::string jpeg = bytes_of(photo("whole.jpg", 800, 600, "[Q=90]"));
  std::ofstream(dir_ / "cut.jpg", std::ios::binary) << jpeg.substr(0, jpeg.size() / 3);
  std::ofstream(dir_ / "noise.gif", std::ios::binary) << "GIF89a" << std::string(400, '\x5a');
  std::ofstream(dir_ / "chunk.png", std::ios::binary) << "\x89PNG\r\n\x1a\n" << std::string(300, 'z');
  const struct {
    const char* file;
    const char* says;
  } damaged[] = {{"cut.jpg", "end of"}, {"noise.gif", "GIF"}, {"chunk.png", "chunk"}};
  std::vector<std::thread> readers;
  std::mutex lock;
  std::vector<std::string> wrong;
  for (const auto& d : damaged)
    readers.emplace_back([&, d] {
      for (int i = 0; i < 30; ++i) {
        PhotoCandidate c;
        std::string why;
        const bool read = probe_photo((dir_ / d.file).string(), true, c, why);
        if (read || why.find(d.says) == std::string::npos) {
          std::lock_guard<std::mutex> hold(lock);
          wrong.push_back(std::string(d.file) + ": " + (read ? "read" : why));
        }
      }
    });
  for (std::thread& t : readers) t.join();
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, the first " << wrong.front();
}

}  // namespace
