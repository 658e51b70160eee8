// The real sound path: an MP3 made here with lame, decoded by mpg123 and played on SDL's dummy
// audio driver, which asks for samples at real-time pace without a sound card.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "show/music_clock.h"
#include "show/mp3_stream.h"
#include "show/music_player.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

void write_le(std::ofstream& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(char(v >> (8 * i)));
}

// A 16-bit PCM WAV file of `sample(i)` in every channel; a sine tone unless told otherwise.
void write_tone_wav(const fs::path& path, double seconds, int rate, int channels,
                    double (*sample)(uint32_t) = [](uint32_t i) { return 8000 * std::sin(i * 0.05); }) {
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
    for (int c = 0; c < channels; ++c) write_le(out, uint32_t(int16_t(sample(i))), 2);
}

void make_mp3(const fs::path& mp3, double seconds, int rate = 44100, int channels = 2,
              double (*sample)(uint32_t) = nullptr) {
  const fs::path wav = mp3.string() + ".wav";
  if (sample)
    write_tone_wav(wav, seconds, rate, channels, sample);
  else
    write_tone_wav(wav, seconds, rate, channels);
  const std::string cmd = "lame --quiet -b 64 '" + wav.string() + "' '" + mp3.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  fs::remove(wav);
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class MusicPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }
  TempDir temp_{TempDir::WorkingDirectory::Keep};
  const fs::path dir_ = temp_.path();
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

// A rising sweep: no two stretches of it alike, so samples from the wrong place cannot pass.
double sweep(uint32_t i) { return 9000 * std::sin(i * (0.01 + i * 2e-7)); }

std::vector<int16_t> read_frames(Mp3Stream& stream, size_t frames) {
  std::vector<int16_t> out(frames * 2);
  out.resize(stream.read(out.data(), frames) * 2);
  return out;
}

// Resampled, a sample here and there comes out one step apart after a seek (the decoder starts
// afresh a frame earlier); a place off by a single sample would be thousands of steps apart on
// the sweep.
bool same_samples(const std::vector<int16_t>& got, std::vector<int16_t>::const_iterator want) {
  for (size_t i = 0; i < got.size(); ++i)
    if (std::abs(got[i] - want[static_cast<ptrdiff_t>(i)]) > 1) return false;
  return true;
}

// The samples after a seek are those a straight read reaches at that place, whether mpg123
// resamples or not, and a stream read to its end seeks back.
TEST_F(MusicPlayerTest, StreamSeeksToTheSampleAStraightReadReaches) {
  for (int rate : {44100, 22050}) {
    SCOPED_TRACE(rate);
    const fs::path path = dir_ / ("sweep" + std::to_string(rate) + ".mp3");
    make_mp3(path, 2.0, rate, 2, sweep);
    Mp3Stream straight;
    ASSERT_TRUE(straight.open(path.c_str(), MusicPlayer::OUTPUT_RATE));
    const std::vector<int16_t> all = read_frames(straight, 4 * MusicPlayer::OUTPUT_RATE);
    const long long total = static_cast<long long>(all.size() / 2);
    ASSERT_GT(total, MusicPlayer::OUTPUT_RATE);

    Mp3Stream stream;
    ASSERT_TRUE(stream.open(path.c_str(), MusicPlayer::OUTPUT_RATE));
    read_frames(stream, 300);  // from the middle of a read, as a player seeks
    for (long long at : {44100LL, 1LL, 0LL, 66157LL, 1152LL * 20 + 3, total - 500}) {
      SCOPED_TRACE(at);
      ASSERT_TRUE(stream.seek(at));
      const std::vector<int16_t> got = read_frames(stream, 400);
      const size_t want = static_cast<size_t>(std::min<long long>(400, total - at)) * 2;
      ASSERT_EQ(got.size(), want);
      EXPECT_TRUE(same_samples(got, all.begin() + at * 2));
    }
    read_frames(stream, 4 * MusicPlayer::OUTPUT_RATE);  // to the end
    EXPECT_TRUE(read_frames(stream, 10).empty());
    ASSERT_TRUE(stream.seek(1000));
    const std::vector<int16_t> again = read_frames(stream, 10);
    ASSERT_EQ(again.size(), 20u);
    EXPECT_TRUE(same_samples(again, all.begin() + 2000));
  }
}

// A seek reads exactly its target at once, before or during playback, and the position goes on
// from there without ever reading less.
TEST_F(MusicPlayerTest, SeeksExactlyAndGoesOnFromThere) {
  make_mp3(dir_ / "tone.mp3", 3.0);
  MusicPlayer player;
  ASSERT_TRUE(player.open((dir_ / "tone.mp3").c_str()));
  player.seek(1.5);
  EXPECT_EQ(player.seconds(), 1.5);  // where it will start
  player.start();
  EXPECT_EQ(player.seconds(), 1.5);
  std::vector<double> seen = watch(player, 500);
  EXPECT_GT(seen.back(), 1.7);
  for (double s : seen) EXPECT_GE(s, 1.5);

  player.seek(0.25);  // backwards while playing
  EXPECT_EQ(player.seconds(), 0.25);
  seen = watch(player, 400);
  EXPECT_GT(seen.back(), 0.4);
  EXPECT_LT(seen.back(), 1.0);

  player.seek(60.0);  // past the end: at the end, which is where it holds
  const double end = player.seconds();
  EXPECT_NEAR(end, 3.0, 0.1);
  sleep_ms(200);
  EXPECT_EQ(player.seconds(), end);
}

TEST_F(MusicPlayerTest, PauseHoldsThePositionAndResumeGoesOnFromIt) {
  make_mp3(dir_ / "tone.mp3", 3.0);
  MusicPlayer player;
  ASSERT_TRUE(player.open((dir_ / "tone.mp3").c_str()));
  player.start();
  watch(player, 300);
  player.pause();
  EXPECT_TRUE(player.paused());
  const double held = player.seconds();
  EXPECT_GT(held, 0.1);
  sleep_ms(300);
  EXPECT_EQ(player.seconds(), held);
  player.seek(2.0);  // a seek while paused moves the held position
  EXPECT_EQ(player.seconds(), 2.0);
  player.seek(held);
  player.resume();
  EXPECT_FALSE(player.paused());
  EXPECT_EQ(player.seconds(), held);
  const std::vector<double> seen = watch(player, 300);
  EXPECT_GT(seen.back(), held + 0.1);
}

// Paused, the device keeps asking for sound and gets silence; resumed, the music comes back.
// The disk driver writes what it is given to a file at real-time pace.
TEST_F(MusicPlayerTest, PausedOutputIsSilence) {
  make_mp3(dir_ / "tone.mp3", 4.0);
  const fs::path heard = dir_ / "heard.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", heard.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "20", 1);
  auto bytes_from = [&](uintmax_t from) {
    std::ifstream in(heard, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  auto silent = [](const std::string& b) { return b.find_first_not_of('\0') == std::string::npos; };
  MusicPlayer player;
  ASSERT_TRUE(player.open((dir_ / "tone.mp3").c_str()));
  player.start();
  sleep_ms(400);
  player.pause();
  sleep_ms(300);  // what was already in the device's buffer plays out
  const uintmax_t paused_at = fs::file_size(heard);
  sleep_ms(400);
  const std::string while_paused = bytes_from(paused_at);
  EXPECT_GT(while_paused.size(), 4u * 4410);  // the device ran on: at least 0.1 s more
  EXPECT_TRUE(silent(while_paused));
  player.resume();
  sleep_ms(400);
  const std::string after = bytes_from(paused_at + while_paused.size());
  EXPECT_FALSE(silent(after));
}

// Without music the silent clock pauses, resumes and seeks the same way.
TEST_F(MusicPlayerTest, TheSilentClockPausesAndSeeksToo) {
  MusicPlayer player;
  EXPECT_FALSE(player.open((dir_ / "missing.mp3").c_str()));
  player.seek(5.0);
  player.pause();
  player.start();
  sleep_ms(150);
  EXPECT_EQ(player.seconds(), 5.0);
  player.resume();
  EXPECT_GE(player.seconds(), 5.0);
  sleep_ms(150);
  EXPECT_GT(player.seconds(), 5.1);
  player.seek(1.0);
  EXPECT_GE(player.seconds(), 1.0);
  EXPECT_LT(player.seconds(), 1.05);
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
