// The studio's time without a window: bars and beats, the clock text, the keys, the transport
// over a music that the test moves by hand, and the timeline's pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/studio/studio_keys.h"
#include "tools/studio/tempo.h"
#include "tools/studio/timeline.h"
#include "tools/studio/transport.h"

namespace {

TEST(StudioTempo, CountsBarsAndBeats) {
  const Tempo t120 = tempo_from_text(120, 0);
  EXPECT_EQ(beat_rows(t120), 10.0);
  EXPECT_EQ(bar_rows(t120), 40.0);
  EXPECT_EQ(beat_rows(tempo_from_text(0, 0)), 20.0);  // no tempo: a beat is a second
  EXPECT_EQ(bar_rows(tempo_from_text(0, 3)), 60.0);

  const Tempo odd = tempo_from_text(127.5, 3);
  const struct {
    double row;
    Tempo tempo;
    long long bar;
    int beat;
  } cases[] = {
      {0, t120, 1, 1},          {9.999, t120, 1, 1},       {10, t120, 1, 2},   {39.9, t120, 1, 4},
      {40, t120, 2, 1},         {210, t120, 6, 2},         {-1, t120, 0, 4},   {-40, t120, 0, 1},
      {3 * (1200 / 127.5), odd, 2, 1},  // on the beat however the division rounds
      {2 * (1200 / 127.5), odd, 1, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    const BarBeat bb = bar_beat(c.row, c.tempo);
    EXPECT_EQ(bb.bar, c.bar);
    EXPECT_EQ(bb.beat, c.beat);
  }
}

TEST(StudioTempo, WritesTheClockInHundredths) {
  const std::pair<double, const char*> cases[] = {
      {0, "0:00.00"},        {3, "0:00.15"},        {246.8, "0:12.34"}, {1199.99, "0:59.99"},
      {1200, "1:00.00"},     {1430, "1:11.50"},     {-10, "-0:00.50"},  {72000, "60:00.00"},
  };
  for (auto [row, text] : cases) {
    char out[32];
    format_clock(row, out, sizeof out);
    EXPECT_STREQ(out, text) << row;
  }
}

TEST(StudioKeys, EveryKeyDoesWhatTheManualSays) {
  const struct {
    SDL_Keycode key;
    Uint16 mod;
    StudioAction action;
  } cases[] = {
      {SDLK_SPACE, 0, StudioAction::TogglePause},
      {SDLK_LEFT, 0, StudioAction::BeatBack},
      {SDLK_RIGHT, 0, StudioAction::BeatForward},
      {SDLK_LEFT, KMOD_LSHIFT, StudioAction::BarBack},
      {SDLK_RIGHT, KMOD_RSHIFT, StudioAction::BarForward},
      {SDLK_PAGEUP, 0, StudioAction::TenSecondsBack},
      {SDLK_PAGEDOWN, 0, StudioAction::TenSecondsForward},
      {SDLK_HOME, 0, StudioAction::ToStart},
      {SDLK_LEFTBRACKET, 0, StudioAction::SetLoopStart},
      {SDLK_RIGHTBRACKET, 0, StudioAction::SetLoopEnd},
      {SDLK_l, 0, StudioAction::ToggleLoop},
      {SDLK_l, KMOD_CAPS, StudioAction::ToggleLoop},
      {SDLK_f, 0, StudioAction::ToggleFullscreen},
      {SDLK_h, 0, StudioAction::ToggleOverlay},
      {SDLK_PLUS, KMOD_SHIFT, StudioAction::DelayMore},
      {SDLK_EQUALS, 0, StudioAction::DelayMore},
      {SDLK_KP_PLUS, KMOD_NUM, StudioAction::DelayMore},
      {SDLK_MINUS, 0, StudioAction::DelayLess},
      {SDLK_KP_MINUS, 0, StudioAction::DelayLess},
      {SDLK_q, 0, StudioAction::Quit},
      {SDLK_ESCAPE, 0, StudioAction::Quit},
      {SDLK_ESCAPE, KMOD_LCTRL, StudioAction::Quit},
      {SDLK_q, KMOD_LCTRL, StudioAction::None},  // the desktop's
      {SDLK_RIGHT, KMOD_LALT, StudioAction::None},
      {SDLK_a, 0, StudioAction::None},
      {SDLK_LEFTBRACKET, KMOD_LALT, StudioAction::SetLoopStartExact},
      {SDLK_RIGHTBRACKET, KMOD_RALT, StudioAction::SetLoopEndExact},
      {SDLK_UP, 0, StudioAction::PreviousTrack},
      {SDLK_DOWN, 0, StudioAction::NextTrack},
      {SDLK_TAB, 0, StudioAction::NextTrack},
      {SDLK_TAB, KMOD_LSHIFT, StudioAction::PreviousTrack},
      {SDLK_k, 0, StudioAction::SetKey},
      {SDLK_i, 0, StudioAction::CycleInterpolation},
      {SDLK_DELETE, 0, StudioAction::DeleteKey},
      {SDLK_BACKSPACE, 0, StudioAction::EraseCharacter},
      {SDLK_RETURN, 0, StudioAction::EnterValue},
      {SDLK_KP_ENTER, 0, StudioAction::EnterValue},
      {SDLK_7, 0, StudioAction::TypeCharacter},
      {SDLK_KP_0, KMOD_NUM, StudioAction::TypeCharacter},
      {SDLK_PERIOD, 0, StudioAction::TypeCharacter},
      {SDLK_z, KMOD_LCTRL, StudioAction::Undo},
      {SDLK_z, 0, StudioAction::None},
      {SDLK_z, KMOD_LCTRL | KMOD_LALT, StudioAction::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(key_action(c.key, c.mod), c.action) << SDL_GetKeyName(c.key) << " with modifiers " << c.mod;
  }
  EXPECT_EQ(typed_character(SDLK_7), '7');
  EXPECT_EQ(typed_character(SDLK_KP_0), '0');
  EXPECT_EQ(typed_character(SDLK_KP_9), '9');
  EXPECT_EQ(typed_character(SDLK_KP_PERIOD), '.');
  EXPECT_EQ(typed_character(SDLK_a), 0);
}

// Lines of the beat grid at 128 bpm (a beat 9.375 rows) from a start at row 3: the key a K would
// set, and how the text writes its time.
TEST(StudioTempo, FindsTheGridsLinesAndWritesTheBeatAsTheTextDoes) {
  const Tempo t = tempo_from_text(128, 4, 3.0);
  const double beat = 9.375, bar = 37.5;
  EXPECT_EQ(grid_line_before(20.0, t, beat), 12.375);
  EXPECT_EQ(grid_line_before(12.375, t, beat), 3.0);  // on a line: the one before it
  EXPECT_EQ(grid_line_after(12.375, t, beat), 21.75);
  EXPECT_EQ(grid_line_after(0.0, t, beat), 3.0);
  EXPECT_EQ(grid_line_before(100.0, t, bar), 78.0);
  EXPECT_EQ(grid_line_after(40.5, t, bar), 78.0);
  EXPECT_EQ(nearest_beat(17.0, t), 1);
  EXPECT_EQ(nearest_beat_line(17.0, t), 12.375);
  EXPECT_EQ(nearest_beat_line(18.0, t), 21.75);
  EXPECT_EQ(beat_time_text(0, t), "1:1");
  EXPECT_EQ(beat_time_text(6, t), "2:3");
  EXPECT_EQ(beat_time_text(-1, t), "-6");  // before bar 1: its row
  EXPECT_EQ(beat_time_text(3, tempo_from_text(0, 0)), "60");  // no tempo: a beat is a second
  const BarBeat bb = bar_beat(12.375, t);
  EXPECT_EQ(bb.bar, 1);
  EXPECT_EQ(bb.beat, 2);
}

// A music that moves only when the test says so, and remembers what it was asked.
struct FakeMusic : MusicControl {
  double position = 0.0, length = 0.0;
  bool paused = false;
  std::vector<double> seeks;
  double seconds() override { return position; }
  void pause() override { paused = true; }
  void resume() override { paused = false; }
  void seek(double s) override {
    seeks.push_back(s);
    position = s;
  }
  double length_seconds() override { return length; }
};

// A playlist's text: 120 bpm (bars of 40 rows), then 60 bpm (80) from row 25, whose first bar is
// bar 2. Each part of the music counts and moves on its own song's grid, as the text reads it.
TEST(StudioTempo, EachSongOnItsOwnGridBarsCountingOn) {
  const ShowText show = parse_show_text("bpm 120\nbpm 60\nstart 25\n", "show.txt");
  ASSERT_TRUE(show.errors.empty()) << show.errors[0];
  const Tempo tempo = tempo_from_show(show);
  const struct {
    double row;
    long long bar;
    int beat;
    const char* nearest;
    double bpm;
  } at[] = {{10, 1, 2, "1:2", 120}, {24, 1, 3, "1:3", 120}, {25, 2, 1, "2:1", 60}, {46, 2, 2, "2:2", 60},
            {106, 3, 1, "3:1", 60}};
  for (const auto& a : at) {
    const Tempo here = tempo_at(tempo, a.row);
    const BarBeat bb = bar_beat(a.row, here);
    EXPECT_EQ(bb.bar, a.bar) << a.row;
    EXPECT_EQ(bb.beat, a.beat) << a.row;
    EXPECT_EQ(here.bpm, a.bpm) << a.row;
    const std::string text = beat_time_text(nearest_beat(a.row, here), here);
    EXPECT_EQ(text, a.nearest) << a.row;
    std::string why;
    EXPECT_EQ(row_of_time(text, show, why), std::optional<int32_t>(static_cast<int32_t>(std::lround(nearest_beat_line(a.row, here)))));
  }
  FakeMusic music;
  music.length = 60.0;
  Transport t(music);
  t.set_tempo(tempo);
  t.begin(30, true);
  t.perform(StudioAction::BeatForward);
  EXPECT_EQ(t.frame_row(), 45.0);  // a beat of the second song: 20 rows
}

TEST(StudioTransport, BeginsWhereAndHowItIsTold) {
  FakeMusic music;
  Transport t(music);
  t.begin(200, true);
  EXPECT_TRUE(music.paused);
  EXPECT_EQ(music.position, 10.0);
  EXPECT_EQ(t.frame_row(), 200.0);
  music.position = 13.0;  // even if the music moved, paused holds
  EXPECT_EQ(t.frame_row(), 200.0);
}

TEST(StudioTransport, SeeksByBeatsBarsAndSecondsFromTheRowOnScreen) {
  FakeMusic music;
  music.length = 60.0;
  Transport t(music);
  t.set_tempo(tempo_from_text(120, 4));
  t.begin(75.2, true);  // 3.76 s: between beat lines
  const struct {
    StudioAction action;
    double row;
  } steps[] = {
      // Beats and bars go to the grid's lines, not a beat from wherever the play head was.
      {StudioAction::BeatBack, 70},          {StudioAction::BeatForward, 80},   {StudioAction::BeatForward, 90},
      {StudioAction::TenSecondsForward, 290}, {StudioAction::BeatForward, 300}, {StudioAction::BeatBack, 290},
      {StudioAction::BarForward, 320},       {StudioAction::BarBack, 280},      {StudioAction::BarBack, 240},
      {StudioAction::TenSecondsForward, 440}, {StudioAction::TenSecondsBack, 240}, {StudioAction::ToStart, 0},
      {StudioAction::BeatBack, 0},           {StudioAction::TenSecondsBack, 0}, {StudioAction::TenSecondsForward, 200},
  };
  for (const auto& s : steps) {
    EXPECT_TRUE(t.perform(s.action));
    EXPECT_EQ(t.frame_row(), s.row);
    EXPECT_EQ(music.position, s.row / 20.0);
  }
  t.seek_to(5000);  // past the end of the music: its end
  EXPECT_EQ(t.frame_row(), 1200.0);

  t.set_tempo(tempo_from_text(0, 0));  // without a tempo a beat is a second, a bar four
  t.seek_to(100);
  t.perform(StudioAction::BeatForward);
  EXPECT_EQ(t.frame_row(), 120.0);
  t.perform(StudioAction::BarForward);
  EXPECT_EQ(t.frame_row(), 160.0);
}

// [ and ] set the loop on the beat nearest the play head (so a loop set while playing is whole
// beats); with Alt, exactly where it is.
TEST(StudioTransport, LoopEdgesSnapToTheNearestBeatUnlessAltIsHeld) {
  FakeMusic music;
  Transport t(music);
  t.set_tempo(tempo_from_text(128, 4));
  t.begin(0, false);
  t.frame_row();
  music.position = 403.4 / 20.0;
  t.frame_row();
  t.perform(StudioAction::SetLoopEnd);
  EXPECT_EQ(t.loop().end, 403.125);  // beat 43
  music.position = 100.2 / 20.0;
  t.frame_row();
  t.perform(StudioAction::SetLoopStart);
  EXPECT_EQ(t.loop().start, 103.125);  // beat 11
  t.perform(StudioAction::SetLoopStartExact);
  EXPECT_DOUBLE_EQ(t.loop().start, 100.2);
  music.position = 300.0 / 20.0;
  t.frame_row();
  t.perform(StudioAction::SetLoopEndExact);
  EXPECT_DOUBLE_EQ(t.loop().end, 300.0);
}

TEST(StudioTransport, PauseHoldsTheRowAndResumeGoesOnFromIt) {
  FakeMusic music;
  Transport t(music);
  t.begin(0, false);
  t.frame_row();  // the frame at the start itself
  music.position = 5.0;
  EXPECT_EQ(t.frame_row(), 100.0);
  t.perform(StudioAction::TogglePause);
  EXPECT_TRUE(music.paused);
  music.position = 5.3;  // the sound device's last buffer, say
  EXPECT_EQ(t.frame_row(), 100.0);
  EXPECT_EQ(t.frame_row(), 100.0);
  t.perform(StudioAction::TogglePause);
  EXPECT_FALSE(music.paused);
  EXPECT_EQ(music.position, 5.0);  // the sound goes on from the picture
  EXPECT_EQ(t.frame_row(), 100.0);
  music.position = 5.5;
  EXPECT_EQ(t.frame_row(), 110.0);
}

// The frame after a seek is at the target itself, not at what the music's clock makes of it.
TEST(StudioTransport, TheFirstFrameAfterASeekIsExactlyItsTarget) {
  FakeMusic music;
  Transport t(music);
  t.begin(0, false);
  t.frame_row();  // the frame at the start itself
  t.seek_to(123.456);
  music.position = 6.1728 - 1e-12;
  EXPECT_EQ(t.frame_row(), 123.456);
  music.position = 6.3;
  EXPECT_DOUBLE_EQ(t.frame_row(), 126.0);
}

TEST(StudioTransport, TheLoopStartsOverAtItsEnd) {
  FakeMusic music;
  Transport t(music);
  t.begin(100, false);
  t.frame_row();
  EXPECT_FALSE(t.perform(StudioAction::ToggleLoop));  // no loop set yet
  t.perform(StudioAction::SetLoopStart);
  t.seek_to(140);
  t.frame_row();
  t.perform(StudioAction::SetLoopEnd);
  EXPECT_EQ(t.loop().start, 100.0);
  EXPECT_EQ(t.loop().end, 140.0);
  EXPECT_FALSE(t.loop().on);
  EXPECT_TRUE(t.perform(StudioAction::ToggleLoop));
  EXPECT_TRUE(t.loop().on);

  music.position = 6.9;
  EXPECT_DOUBLE_EQ(t.frame_row(), 138.0);
  music.position = 7.02;
  EXPECT_EQ(t.frame_row(), 100.0);  // past the end: the loop's start, exactly
  EXPECT_EQ(music.position, 5.0);
  EXPECT_EQ(t.loops(), 1);
  music.position = 5.5;
  EXPECT_DOUBLE_EQ(t.frame_row(), 110.0);

  t.perform(StudioAction::ToggleLoop);  // off: plays through
  music.position = 8.0;
  EXPECT_DOUBLE_EQ(t.frame_row(), 160.0);
  t.perform(StudioAction::SetLoopEnd);  // an end after the start: a loop again, still off
  EXPECT_TRUE(t.loop().complete());
  t.seek_to(50);
  t.frame_row();
  t.perform(StudioAction::SetLoopEnd);  // an end before the start: the start goes
  EXPECT_FALSE(t.loop().complete());
  EXPECT_FALSE(t.perform(StudioAction::ToggleLoop));
}

TEST(StudioTransport, TheDelayShiftsThePictureAgainstTheSound) {
  FakeMusic music;
  Transport t(music);
  t.begin(0, false);
  t.frame_row();  // the frame at the start itself
  for (int i = 0; i < 10; ++i) t.perform(StudioAction::DelayMore);
  EXPECT_EQ(t.delay_ms(), 100);
  music.position = 5.0;
  EXPECT_DOUBLE_EQ(t.frame_row(), 98.0);  // 100 ms = 2 rows later
  t.seek_to(50);
  EXPECT_DOUBLE_EQ(music.position, 2.6);
  EXPECT_EQ(t.frame_row(), 50.0);
  for (int i = 0; i < 500; ++i) t.perform(StudioAction::DelayLess);
  EXPECT_EQ(t.delay_ms(), -Transport::MAX_DELAY_MS);
}

TEST(StudioTransport, HoldsAtTheEndOfTheShowAndOfTheMusic) {
  FakeMusic music;
  music.length = 72.0;
  Transport t(music);
  t.begin(1400, false);
  t.frame_row();  // the frame at the start itself
  music.position = 71.5;
  EXPECT_EQ(t.frame_row(), 1430.0);
  t.stop_at_end_of_show(1430.0);
  EXPECT_TRUE(t.paused());
  EXPECT_TRUE(t.at_end_of_show());
  EXPECT_EQ(t.frame_row(), 1430.0);
  t.seek_to(100);
  EXPECT_FALSE(t.at_end_of_show());

  t.resume();
  t.frame_row();
  music.position = 72.0;
  EXPECT_EQ(t.frame_row(), 1440.0);
  EXPECT_TRUE(t.paused());
  EXPECT_TRUE(t.at_end_of_music());
}

TEST(StudioTimeline, MapsPixelsToRowsAndBack) {
  const TimelineLayout t = timeline_layout(1280, 720);
  EXPECT_EQ(t.width, 1280);
  EXPECT_EQ(t.y + t.height, 720);
  EXPECT_GT(t.wave_height, 0);
  EXPECT_NEAR(t.wave_height + t.lane_height * TIMELINE_LANES, t.height, 1e-3);
  EXPECT_TRUE(t.contains(0, 719));
  EXPECT_FALSE(t.contains(0, t.y - 1));

  const double span = 1450;
  EXPECT_EQ(timeline_row_at(t, span, 0), 0.0);
  EXPECT_EQ(timeline_row_at(t, span, 1279), span);
  EXPECT_EQ(timeline_row_at(t, span, -20), 0.0);
  EXPECT_EQ(timeline_row_at(t, span, 5000), span);
  for (int x : {1, 100, 640, 1278}) EXPECT_NEAR(timeline_x_of(t, span, timeline_row_at(t, span, x)), x, 1e-3);

  EXPECT_EQ(timeline_span_rows(1450, 1430), 1450);
  EXPECT_EQ(timeline_span_rows(1450, 2000), 2000);  // keys beyond the music still show
  EXPECT_EQ(timeline_span_rows(0, 0), 1200);        // nothing known: a minute

  const TimelineLayout tiny = timeline_layout(1, 10);  // nothing divides by zero
  EXPECT_EQ(timeline_row_at(tiny, span, 0), 0.0);
  EXPECT_LE(tiny.height, 10);
}

}  // namespace
