// The demo pack as make_pack.sh leaves it: every catalogue file in its real type, the 22 tracks,
// and music of the right length that is not silent.
#include <gtest/gtest.h>
#include <mpg123.h>
#include <SDL.h>
#include <SDL_image.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "sync/sync_track.h"
#include "sync/track_file.h"
#include "tests/support/file_contents.h"
#include "tools/authoring/scene_track_names.h"

namespace fs = std::filesystem;

namespace {

enum class Kind { Jpeg, Png, Gif };

struct Entry {
  int index;
  const char* file;
  Kind kind;
};

// The catalogue's file names, written out here rather than taken from the generator's table.
const Entry CATALOGUE[44] = {
    {0, "00.jpg", Kind::Jpeg},  {1, "01.png", Kind::Png},   {2, "02.png", Kind::Png},   {3, "03.png", Kind::Png},
    {4, "04.png", Kind::Png},   {5, "05.JPG", Kind::Jpeg},  {6, "06.JPG", Kind::Jpeg},  {7, "07.JPG", Kind::Jpeg},
    {8, "08.JPG", Kind::Jpeg},  {9, "09.JPG", Kind::Jpeg},  {10, "10.JPG", Kind::Jpeg}, {11, "11.JPG", Kind::Jpeg},
    {12, "12.png", Kind::Png},  {13, "13.png", Kind::Png},  {14, "14.png", Kind::Png},  {15, "15.png", Kind::Png},
    {16, "16.png", Kind::Png},  {17, "17.jpg", Kind::Jpeg}, {18, "18.png", Kind::Png},  {19, "19.png", Kind::Png},
    {20, "20.png", Kind::Png},  {21, "21.png", Kind::Png},  {22, "22.png", Kind::Png},  {23, "23.png", Kind::Png},
    {24, "24.png", Kind::Png},  {25, "25.gif", Kind::Gif},  {26, "26.png", Kind::Png},  {27, "27.png", Kind::Png},
    {28, "28.JPG", Kind::Jpeg}, {29, "29.JPG", Kind::Jpeg}, {30, "30.jpg", Kind::Jpeg}, {31, "31.JPG", Kind::Jpeg},
    {32, "32.jpg", Kind::Jpeg}, {33, "33.JPG", Kind::Jpeg}, {34, "34.jpg", Kind::Jpeg}, {35, "35.png", Kind::Png},
    {36, "36.png", Kind::Png},  {37, "37.png", Kind::Png},  {38, "38.png", Kind::Png},  {39, "39.png", Kind::Png},
    {40, "40.png", Kind::Png},  {41, "41.png", Kind::Png},  {42, "42.png", Kind::Png},  {43, "40.png", Kind::Png},
};

const fs::path PACK = PACK_DIR;

bool has_magic(const std::string& bytes, Kind kind) {
  switch (kind) {
    case Kind::Jpeg: return bytes.rfind("\xFF\xD8\xFF", 0) == 0;
    case Kind::Png: return bytes.rfind("\x89PNG\r\n\x1A\n", 0) == 0;
    case Kind::Gif: return bytes.rfind("GIF89a", 0) == 0 || bytes.rfind("GIF87a", 0) == 0;
  }
  return false;
}

struct Decoded {
  int width = 0, height = 0;
  std::string rgba;
};

Decoded decode(const fs::path& p) {
  Decoded d;
  SDL_Surface* s = IMG_Load(p.c_str());
  if (!s) return d;
  SDL_Surface* rgba = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGBA32, 0);
  SDL_FreeSurface(s);
  if (!rgba) return d;
  d.width = rgba->w, d.height = rgba->h;
  for (int y = 0; y < rgba->h; ++y)
    d.rgba.append(static_cast<const char*>(rgba->pixels) + static_cast<size_t>(y) * rgba->pitch, rgba->w * 4);
  SDL_FreeSurface(rgba);
  return d;
}

TEST(DemoPack, HasEveryCatalogueFileInItsRealType) {
  for (const Entry& e : CATALOGUE) {
    SCOPED_TRACE(e.file);
    const std::string bytes = file_contents(PACK / "hall.photo" / e.file);
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(has_magic(bytes, e.kind));
  }
  size_t files = 0;
  for (const auto& f : fs::directory_iterator(PACK / "hall.photo")) files += f.is_regular_file();
  EXPECT_EQ(files, 43u);  // and nothing else lying about
}

TEST(DemoPack, PicturesAreDistinctMostlyFullHdWithTheirIndexAndSomeTransparency) {
  std::set<std::string> seen;
  int full_hd = 0, png_with_alpha = 0;
  for (const Entry& e : CATALOGUE) {
    if (e.index == 43) continue;  // the same file as 40
    SCOPED_TRACE(e.file);
    const Decoded d = decode(PACK / "hall.photo" / e.file);
    ASSERT_GT(d.width, 0) << IMG_GetError();
    EXPECT_TRUE(seen.insert(d.rgba).second) << "a picture repeats";
    full_hd += d.width == 1920 && d.height == 1080;
    // The index is drawn in white in the top-left corner.
    bool white = false, transparent = false;
    for (int y = 0; y < d.height * 2 / 5 && !white; ++y)
      for (int x = 0; x < d.width * 2 / 5 && !white; ++x) {
        const auto* px = reinterpret_cast<const uint8_t*>(&d.rgba[(static_cast<size_t>(y) * d.width + x) * 4]);
        white = px[0] > 240 && px[1] > 240 && px[2] > 240 && px[3] == 255;
      }
    EXPECT_TRUE(white);
    for (size_t i = 3; i < d.rgba.size() && !transparent; i += 4) transparent = static_cast<uint8_t>(d.rgba[i]) == 0;
    if (e.kind == Kind::Gif) {
      EXPECT_TRUE(transparent);
    }
    png_with_alpha += e.kind == Kind::Png && transparent;
  }
  EXPECT_GE(full_hd, 30);
  EXPECT_GE(png_with_alpha, 3);
}

TEST(DemoPack, HasEveryTrackTheShowReads) {
  for (std::string_view name : KESTO_TRACK_NAMES) {
    SCOPED_TRACE(name);
    const fs::path file = PACK / track_file_name(name);
    std::vector<TrackKey> keys;
    std::string error;
    ASSERT_TRUE(decode_track_file(file_contents(file), keys, error)) << error;
    EXPECT_FALSE(keys.empty());
    SyncTrack track;
    EXPECT_EQ(load_track_file(file.string(), track), 0);
    EXPECT_EQ(track.keys.size(), keys.size());
  }
}

// Decoded with mpg123: between 60 and 90 seconds, sound in every second before its last two.
TEST(DemoPack, MusicIsAnMp3OfTheRightLengthAndNotSilent) {
  ASSERT_EQ(mpg123_init(), MPG123_OK);
  int err = 0;
  mpg123_handle* mh = mpg123_new(nullptr, &err);
  ASSERT_NE(mh, nullptr);
  ASSERT_EQ(mpg123_open(mh, (PACK / "e12.mp3").c_str()), MPG123_OK);
  long rate = 0;
  int channels = 0, encoding = 0;
  ASSERT_EQ(mpg123_getformat(mh, &rate, &channels, &encoding), MPG123_OK);
  EXPECT_EQ(rate, 44100);
  mpg123_format_none(mh);
  mpg123_format(mh, rate, channels, MPG123_ENC_SIGNED_16);
  std::vector<double> energy;  // mean square per second
  std::vector<int16_t> buf(4096);
  size_t done = 0, frames = 0;
  int ret;
  while ((ret = mpg123_read(mh, reinterpret_cast<unsigned char*>(buf.data()), buf.size() * 2, &done)) == MPG123_OK ||
         ret == MPG123_NEW_FORMAT || (ret == MPG123_DONE && done > 0)) {
    for (size_t i = 0; i < done / 2; ++i, ++frames) {
      const size_t second = frames / (rate * channels);
      if (energy.size() <= second) energy.push_back(0);
      energy[second] += (buf[i] / 32768.0) * (buf[i] / 32768.0) / (rate * channels);
    }
    if (ret == MPG123_DONE) break;
  }
  mpg123_close(mh);
  mpg123_delete(mh);
  const double seconds = static_cast<double>(frames) / (rate * channels);
  EXPECT_GE(seconds, 60.0);
  EXPECT_LE(seconds, 90.0);
  for (size_t s = 1; s + 2 < energy.size(); ++s) EXPECT_GT(std::sqrt(energy[s]), 0.01) << "second " << s;
}

// A second run finds the pack up to date and touches nothing.
TEST(DemoPack, RemakingAFinishedPackChangesNothing) {
  const auto stamp = fs::last_write_time(PACK / "e12.mp3");
  const auto photo = fs::last_write_time(PACK / "hall.photo/25.gif");
  const auto track = fs::last_write_time(PACK / "kestos/base_happy.kesto");
  const std::string command = std::string(MAKE_PACK) + " " + BUILD_DIR + " " + PACK.string() + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char b[256];
  while (fgets(b, sizeof b, p)) out += b;
  EXPECT_EQ(pclose(p), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(fs::last_write_time(PACK / "e12.mp3"), stamp);
  EXPECT_EQ(fs::last_write_time(PACK / "hall.photo/25.gif"), photo);
  EXPECT_EQ(fs::last_write_time(PACK / "kestos/base_happy.kesto"), track);
}

}  // namespace
