// The beat grid hallshow-make finds in songs of known tempo: the demo's own music synthesised at
// five tempos, encoded to MP3 the way hallshow-make encodes any song, decoded and analysed as it
// is for a show.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "demo/music_synth.h"
#include "tools/make/music/audio_analysis.h"
#include "tools/make/music/music_map.h"
#include "tools/make/music/song_file.h"

namespace fs = std::filesystem;

namespace {

void write_wav(const std::string& path, const std::vector<int16_t>& samples) {
  std::ofstream out(path, std::ios::binary);
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
  out.write("RIFF", 4), put(36 + data, 4), out.write("WAVE", 4), out.write("fmt ", 4), put(16, 4), put(1, 2),
      put(2, 2), put(MUSIC_RATE, 4), put(MUSIC_RATE * 4, 4), put(4, 2), put(16, 2), out.write("data", 4), put(data, 4);
  out.write(reinterpret_cast<const char*>(samples.data()), data);
}

MusicMap map_song_at(double bpm, int bars, Groove groove, double given, const fs::path& dir) {
  const std::string wav = (dir / "song.wav").string(), mp3 = (dir / "e12.mp3").string();
  write_wav(wav, synthesise_music(bpm, bars, groove));
  SongInfo info;
  std::string why;
  EXPECT_TRUE(probe_song(wav, info, why)) << why;
  EXPECT_TRUE(make_song_file(wav, info, mp3, why)) << why;
  AudioAnalysis heard;
  EXPECT_TRUE(analyse_audio(mp3, heard, why, nullptr)) << why;
  return map_music(heard, 4, given, given > 0);
}

struct Song {
  double bpm;
  Groove groove;
  bool given;  // --bpm
};

class BeatGrid : public testing::TestWithParam<Song> {};

TEST_P(BeatGrid, TempoWithinOnePercentAndBeatsWithinARow) {
  const double bpm = GetParam().bpm;
  const fs::path dir = fs::temp_directory_path() / ("hallshow_make_beats_" + std::to_string(getpid()));
  fs::create_directories(dir);
  // Long enough for the drums (from bar 5) to run 30 seconds.
  const int bars = 4 + static_cast<int>(std::ceil(30.0 * bpm / 240.0)) + 2;
  const MusicMap m = map_song_at(bpm, bars, GetParam().groove, GetParam().given ? bpm : 0, dir);
  fs::remove_all(dir);
  ASSERT_TRUE(m.steady) << m.note;
  // The tempo, or one octave of it: a tracker may hear 72 as 144; given, the very tempo.
  double found = m.bpm;
  while (found > bpm * 1.5 && !GetParam().given) found /= 2;
  while (found < bpm / 1.5 && !GetParam().given) found *= 2;
  EXPECT_NEAR(found, bpm, GetParam().given ? 1e-6 : bpm * 0.01) << "found " << m.bpm;

  // Every true beat while the music plays: a detected beat within one row (50 ms).
  const double beat = 60.0 / bpm;
  int near = 0, total = 0;
  for (double t = 0; t < (bars - 1) * 4 * beat; t += beat, ++total) {
    double best = 1e9;
    for (double b : m.beats) best = std::min(best, std::abs(b - t));
    near += best <= 0.05;
  }
  EXPECT_GE(near, total * 0.95) << near << " of " << total << " beats within a row";
}

// A minute of song, heard as any song that is not one MP3 is (decoded by ffmpeg): the tracker
// stumbles for a while in these, settling 2% off the tempo or at half of it with its beats
// wandering; the grid is still the music's, and clear.
TEST(BeatGrid, ATrackerThatStumbledStillGivesTheMusicsGrid) {
  const fs::path dir = fs::temp_directory_path() / ("hallshow_make_stumbled_" + std::to_string(getpid()));
  fs::create_directories(dir);
  for (double bpm : {140.0, 174.0}) {
    const std::string wav = (dir / "song.wav").string();
    write_wav(wav, synthesise_music(bpm, static_cast<int>(std::ceil(60 * bpm / 240)), Groove::Plain));
    AudioAnalysis heard;
    std::string why;
    ASSERT_TRUE(analyse_song(wav, 60, heard, why, nullptr)) << why;
    const MusicMap m = map_music(heard, 4, 0, false);
    ASSERT_TRUE(m.steady) << bpm << ": " << m.note;
    double found = m.bpm;
    while (found < bpm / 1.5) found *= 2;
    EXPECT_NEAR(found, bpm, bpm * 0.005) << "found " << m.bpm;
    for (double b : m.beats) EXPECT_NEAR(std::remainder(b, 60 / bpm), 0, 0.05) << bpm << " bpm, beat at " << b;
  }
  fs::remove_all(dir);
}

constexpr Groove PLAIN = Groove::Plain, BUSY = Groove::BusyOffbeats;
INSTANTIATE_TEST_SUITE_P(MusicSynth, BeatGrid,
                         testing::Values(Song{72, PLAIN, false}, Song{90, BUSY, false}, Song{96, PLAIN, false},
                                         Song{120, PLAIN, false}, Song{128, BUSY, false}, Song{140, PLAIN, false},
                                         Song{174, PLAIN, false}, Song{72, BUSY, true}, Song{90, BUSY, true},
                                         Song{140, PLAIN, true}, Song{174, BUSY, true}),
                         [](const testing::TestParamInfo<Song>& p) {
                           return std::to_string(static_cast<int>(p.param.bpm)) + "bpm" +
                                  (p.param.groove == BUSY ? "_busy" : "") + (p.param.given ? "_given" : "");
                         });

}  // namespace
