// PNG photos through our decoder give exactly the pixels the platform's codecs gave for every
// valid PNG: images of every colour type, bit depth and interlace, with and without tRNS, written
// by libpng, and the corpus photographs when scripts/corpus.sh has run.
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "photos/image_codecs.h"
#include "photos/texture_loaders.h"
#include "tests/png/corpus_files.h"
#include "tests/png/libpng_images.h"
#include "tests/photos/test_images.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The codecs' way, as the loader took it before PNG files came to our decoder.
TextureImage decode_with_codecs(const std::string& path) {
  init_image_codecs();
  SurfacePtr loaded(IMG_Load(path.c_str()));
  SurfacePtr rgba = to_rgba32(loaded.get());
  if (!rgba) return {};
  return bottom_first_image(*rgba, TextureImage::Kind::FileTexture);
}

void expect_same_as_codecs(const std::string& path, const std::string& what) {
  const TextureImage ours = decode_file_texture(path), theirs = decode_with_codecs(path);
  ASSERT_EQ(theirs.kind, TextureImage::Kind::FileTexture) << what;
  EXPECT_EQ(ours.kind, theirs.kind) << what;
  EXPECT_EQ(ours.width, theirs.width) << what;
  EXPECT_EQ(ours.height, theirs.height) << what;
  size_t first = 0;
  while (first < ours.pixels.size() && first < theirs.pixels.size() && ours.pixels[first] == theirs.pixels[first])
    ++first;
  EXPECT_TRUE(ours.pixels == theirs.pixels) << what << ": first difference at byte " << first;
}

class FileTexturePng : public ::testing::Test {
 protected:
  TempDir temp_{TempDir::WorkingDirectory::Keep};
  const fs::path dir_ = temp_.path();
};

TEST_F(FileTexturePng, EveryFormatAsTheCodecsGaveIt) {
  struct Format {
    int colour_type, bit_depth;
  };
  const Format formats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                            {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  std::mt19937 rng(1208);
  for (const Format& f : formats)
    for (int interlace : {0, 1})
      for (bool trns : {false, true}) {
        if (trns && (f.colour_type == 4 || f.colour_type == 6)) continue;
        for (int round = 0; round < 3; ++round) {
          const NativeImage im = random_image(rng, f.colour_type, f.bit_depth, interlace, trns);
          Bytes file;
          ASSERT_TRUE(write_with_libpng(im, 6, 8192, file));
          const std::string what = "colour type " + std::to_string(f.colour_type) + ", depth " +
                                   std::to_string(f.bit_depth) + ", interlace " + std::to_string(interlace) +
                                   ", tRNS " + std::to_string(trns) + ", round " + std::to_string(round);
          const std::string path = (dir_ / "photo.png").string();
          ASSERT_TRUE(teximg::write_bytes(path, file));
          expect_same_as_codecs(path, what);
        }
      }
}

TEST(FileTexturePngCorpus, PhotographsAsTheCodecsGaveThem) {
  const auto files = corpus::files("photos", ".png");
  if (files.empty()) GTEST_SKIP() << "no corpus: run scripts/corpus.sh";
  for (const auto& path : files) expect_same_as_codecs(path.string(), corpus::label(path));
}

}  // namespace
