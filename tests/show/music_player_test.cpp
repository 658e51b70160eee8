// The real sound path: an MP3 made here with lame, decoded by mpg123 and played on SDL's dummy
// audio driver, which asks for samples at real-time pace without a sound card.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "show/music_clock.h"
#include "show/music_player.h"

namespace fs = std::filesystem;

namespace {

void write_le(std::ofstream& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(char(v >> (8 * i)));
}

// A sine tone as a 16-bit PCM WAV file.
void write_tone_wav(const fs::path& path, double seconds, int rate, int channels) {
  const uint32_t frames = uint32_t(seconds * rate);
  const uint32_t data = frames * channels * 2;
  std::ofstream out(path, std::ios::binary);
  out << "RIFF";
  write_le(out, 36 + data, 4);
  out << "WAVEfmt ";
  write_le(out, 16, 4);
  write_le(out, 1, 2);
  write_le(out, channels, 2);
  write_le(out, rate, 4);
  write_le(out, rate * channels * 2, 4);
  write_le(out, channels * 2, 2);
  write_le(out, 16, 2);
  out << "data";
  write_le(out, data, 4);
  for (uint32_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) write_le(out, uint32_t(int16_t(8000 * std::sin(i * 0.05))), 2);
}

void make_mp3(const fs::path& mp3, double seconds, int rate = 44100, int channels = 2) {
  const fs::path wav = mp3.string() + ".wav";
  write_tone_wav(wav, seconds, rate, channels);
  const std::string cmd = "lame --quiet -b 64 '" + wav.string() + "' '" + mp3.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  fs::remove(wav);
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class MusicPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::string templ = (fs::temp_directory_path() / "hallshow-clock-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    dir_ = templ;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// Reads the clock every few milliseconds for `ms` and checks that it never goes back and never
// races: no step beyond one and a half times the time that passed, plus one device buffer.
std::vector<double> watch(MusicPlayer& player, int ms) {
  std::vector<double> seen;
  double last = player.seconds(), last_wall = steady_seconds();
  seen.push_back(last);
  const double until = last_wall + ms / 1000.0;
  while (steady_seconds() < until) {
    sleep_ms(3);
    const double now = player.seconds(), wall = steady_seconds();
    EXPECT_GE(now, last) << "went backwards";
    EXPECT_LE(now - last, 1.5 * (wall - last_wall) + 0.025) << "jumped";
    seen.push_back(now);
    last = now;
    last_wall = wall;
  }
  return seen;
}

TEST_F(MusicPlayerTest, PlaysARealMp3AndFollowsIt) {
  make_mp3(dir_ / "tone.mp3", 2.0);
  MusicPlayer player;
  ASSERT_TRUE(player.open((dir_ / "tone.mp3").c_str()));
  EXPECT_TRUE(player.audible());
  EXPECT_NEAR(player.length_seconds(), 2.0, 0.1);
  EXPECT_EQ(player.seconds(), 0.0);  // nothing plays before start
  sleep_ms(100);
  EXPECT_EQ(player.seconds(), 0.0);
  player.start();
  EXPECT_LT(player.seconds(), 0.05);  // the first reading after start is close to 0
  const std::vector<double> seen = watch(player, 800);
  EXPECT_GT(seen.back(), 0.2);  // it advanced
  EXPECT_LT(seen.back(), 2.0);
}

TEST_F(MusicPlayerTest, HoldsAtTheEndOnceTheMusicIsOver) {
  make_mp3(dir_ / "short.mp3", 0.4);
  MusicPlayer player;
  ASSERT_TRUE(player.open((dir_ / "short.mp3").c_str()));
  player.start();
  watch(player, 900);
  const double end = player.seconds();
  EXPECT_NEAR(end, 0.4, 0.06);
  EXPECT_DOUBLE_EQ(player.length_seconds(), end);  // exact once all of it was decoded
  sleep_ms(300);
  EXPECT_EQ(player.seconds(), end);
}

// The file is read as it plays, not decoded at open: cut it short after opening, and the music
// that plays is the part that is left.
TEST_F(MusicPlayerTest, DecodesAsItPlaysNotAtOpen) {
  const fs::path path = dir_ / "long.mp3";
  make_mp3(path, 2.0);
  MusicPlayer player;
  ASSERT_TRUE(player.open(path.c_str()));
  fs::resize_file(path, fs::file_size(path) / 4);
  player.start();
  watch(player, 1000);
  EXPECT_LT(player.length_seconds(), 1.0);  // exact by now: all that was left has played
  EXPECT_GT(player.length_seconds(), 0.2);
  EXPECT_EQ(player.seconds(), player.length_seconds());
}

TEST_F(MusicPlayerTest, ResamplesMonoAtAnotherRate) {
  make_mp3(dir_ / "mono.mp3", 1.0, 22050, 1);
  MusicPlayer player;
  ASSERT_TRUE(player.open((dir_ / "mono.mp3").c_str()));
  EXPECT_NEAR(player.length_seconds(), 1.0, 0.1);
  player.start();
  watch(player, 300);
  EXPECT_GT(player.seconds(), 0.0);
}

// Every way the music can be missing ends in the silent clock, which starts at start() and
// advances with the monotonic clock.
struct Silent {
  const char* what;
  std::string content;  // of the music file; "-" for no file at all
  const char* driver;
};

void PrintTo(const Silent& s, std::ostream* os) { *os << s.what; }

class SilentFallback : public MusicPlayerTest, public ::testing::WithParamInterface<Silent> {};

TEST_P(SilentFallback, StillAdvances) {
  const Silent& s = GetParam();
  const fs::path path = dir_ / "e12.mp3";
  if (s.content == "real")
    make_mp3(path, 1.0);
  else if (s.content != "-")
    std::ofstream(path, std::ios::binary) << s.content;
  setenv("SDL_AUDIODRIVER", s.driver, 1);
  MusicPlayer player;
  EXPECT_FALSE(player.open(path.c_str()));
  EXPECT_FALSE(player.audible());
  EXPECT_EQ(player.length_seconds(), 0.0);
  EXPECT_EQ(player.seconds(), 0.0);
  player.start();
  const std::vector<double> seen = watch(player, 200);
  EXPECT_GT(seen.back(), 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Music, SilentFallback,
    ::testing::Values(Silent{"no file", "-", "dummy"}, Silent{"empty file", "", "dummy"},
                      Silent{"text file", "this is not music, only words in a file named like it\n", "dummy"},
                      Silent{"zeros", std::string(20000, '\0'), "dummy"},
                      Silent{"no sound device", "real", "no-such-driver"}));

TEST_F(MusicPlayerTest, OpensOnlyOnce) {
  make_mp3(dir_ / "late.mp3", 0.5);
  MusicPlayer player;
  EXPECT_FALSE(player.open((dir_ / "missing.mp3").c_str()));
  EXPECT_FALSE(player.open((dir_ / "late.mp3").c_str()));  // the silent clock stays
  player.start();
  EXPECT_FALSE(player.open((dir_ / "late.mp3").c_str()));
  EXPECT_FALSE(player.audible());
}

TEST_F(MusicPlayerTest, ADirectoryNamedLikeTheMusicIsSilent) {
  fs::create_directory(dir_ / "e12.mp3");
  MusicPlayer player;
  EXPECT_FALSE(player.open((dir_ / "e12.mp3").c_str()));
}

// The process-wide clock, in a folder without music: the show still advances.
TEST_F(MusicPlayerTest, ShowClockRunsSilentWithoutMusic) {
  const fs::path old = fs::current_path();
  fs::current_path(dir_);
  EXPECT_EQ(current_row(), 0.0);
  open_music();
  EXPECT_FALSE(music_is_audible());
  EXPECT_EQ(current_row(), 0.0);
  start_music();
  sleep_ms(120);
  const double row = current_row();
  EXPECT_GT(row, 1.0);
  EXPECT_GE(current_row(), row);
  EXPECT_EQ(music_length_seconds(), 0.0);
  fs::current_path(old);
}

}  // namespace
