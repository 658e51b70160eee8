// The audible position from the audio callbacks, under a simulated device and a fake clock.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "show/music_clock.h"
#include "show/playback_clock.h"

namespace {

TEST(SecondsToRow, TwentyRowsASecondWithTheFractionKept) {
  struct Case {
    double seconds, row;
  };
  for (const Case& c : {Case{2.5, 50.0}, Case{0.001, 0.02}, Case{60.0, 1200.0}, Case{0.0, 0.0},
                        Case{0.0123, 0.246}, Case{-0.05, -1.0}})
    EXPECT_DOUBLE_EQ(seconds_to_row(c.seconds), c.row) << c.seconds;
}

// A device that calls back every `period` seconds (plus a jitter pattern) and, like the real
// player, reports as audible everything handed over before minus the one buffer it still plays.
struct FakeDevice {
  double period = 1024.0 / 44100.0;
  double music_seconds = 1e9;          // the music's length
  std::vector<double> jitter = {0.0};  // added to the callback times in turn
  double stop_calling_at = 1e9;        // the device stops calling back (unplugged)

  int calls_before(double now) const {  // callbacks that have run by `now`
    int k = 0;
    while (k * period + jitter[k % jitter.size()] <= now && k * period < stop_calling_at) ++k;
    return k;
  }
  AudioAnchor anchor_at(double now) const {
    AudioAnchor a;
    const int k = calls_before(now);
    if (k == 0) return a;
    const int last = k - 1;
    a.valid = true;
    a.time = last * period + jitter[last % jitter.size()];
    a.position = (last - 1) * period;
    a.handed = std::min(k * period, music_seconds);
    a.ended = k * period >= music_seconds;
    return a;
  }
  // What is really heard at `now`: the device runs one buffer behind the callbacks.
  double truth(double now) const { return std::clamp(now - period, 0.0, music_seconds); }
};

struct Readings {
  std::vector<double> times, positions;
};

Readings read_clock(const FakeDevice& dev, double fps, double until) {
  PlaybackClock clock;
  Readings run;
  for (double now = 0.0; now < until; now += 1.0 / fps) {
    run.times.push_back(now);
    run.positions.push_back(clock.position_at(now, dev.anchor_at(now)));
  }
  return run;
}

struct Reader {
  const char* what;
  double fps;
  std::vector<double> jitter;
};

void PrintTo(const Reader& r, std::ostream* os) { *os << r.what; }

class SmoothAndMonotonic : public ::testing::TestWithParam<Reader> {};

TEST_P(SmoothAndMonotonic, FollowsTheAudibleMusic) {
  FakeDevice dev;
  dev.jitter = GetParam().jitter;
  const Readings run = read_clock(dev, GetParam().fps, 10.0);
  for (size_t i = 1; i < run.times.size(); ++i) {
    const double dt = run.times[i] - run.times[i - 1];
    const double step = run.positions[i] - run.positions[i - 1];
    ASSERT_GE(step, 0.0) << "went backwards at " << run.times[i];
    // Never faster than one and a half times real time, outside the first callback.
    if (run.times[i] > 0.1) {
      ASSERT_LE(step, 1.5 * dt + 1e-9) << "jumped at " << run.times[i];
    }
    // After settling it stays within a few milliseconds of what is heard.
    if (run.times[i] > 2.0) {
      ASSERT_NEAR(run.positions[i], dev.truth(run.times[i]), 0.006) << run.times[i];
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reader, SmoothAndMonotonic,
    ::testing::Values(Reader{"30 fps, steady device", 30.0, {0.0}},
                      Reader{"60 fps, steady device", 60.0, {0.0}},
                      Reader{"144 fps, jittery device", 144.0, {0.0, 0.004, -0.003, 0.002, 0.005, 0.0}},
                      Reader{"1000 fps, jittery device", 1000.0, {0.003, -0.002, 0.0, 0.004}},
                      Reader{"7 fps, jittery device", 7.0, {0.0, 0.005, -0.004}}));

TEST(PlaybackClock, ZeroUntilTheDeviceFirstAsks) {
  PlaybackClock clock;
  EXPECT_EQ(clock.position_at(5.0, AudioAnchor{}), 0.0);
  EXPECT_EQ(clock.position_at(6.0, AudioAnchor{}), 0.0);
}

TEST(PlaybackClock, FirstReadingsAreNearZero) {
  FakeDevice dev;
  PlaybackClock clock;
  // The first callback reports minus one buffer: nothing is heard until the buffer plays.
  EXPECT_EQ(clock.position_at(0.001, dev.anchor_at(0.001)), 0.0);
  EXPECT_LT(clock.position_at(0.030, dev.anchor_at(0.030)), 0.01);
}

TEST(PlaybackClock, HoldsExactlyAtTheEndOfTheMusic) {
  FakeDevice dev;
  dev.music_seconds = 2.0;
  const Readings run = read_clock(dev, 60.0, 6.0);
  for (size_t i = 0; i < run.times.size(); ++i) {
    ASSERT_LE(run.positions[i], 2.0);
    if (run.times[i] > 2.2) {
      ASSERT_EQ(run.positions[i], 2.0) << run.times[i];
    }
  }
}

TEST(PlaybackClock, RunsFreeWhenTheDeviceStopsCallingBack) {
  FakeDevice dev;
  dev.stop_calling_at = 3.0;
  const Readings run = read_clock(dev, 60.0, 8.0);
  EXPECT_NEAR(run.positions.back(), 8.0 - dev.period, 0.1);
  for (size_t i = 1; i < run.positions.size(); ++i) ASSERT_GE(run.positions[i], run.positions[i - 1]);
}

// A device that opens but never asks for audio (stalled or suspended from the start) must not
// freeze the show on its first picture: the clock holds at 0 for the stall time, then runs on real
// time; should the device wake up later, the clock waits for the sound rather than going back.
TEST(PlaybackClock, RunsFreeWhenTheDeviceNeverCallsBackFromTheStart) {
  constexpr double START = 3.0, WAKES = 7.0;
  PlaybackClock clock;
  EXPECT_EQ(clock.position_at(1.0, AudioAnchor{}), 0.0);  // nothing plays before the start
  clock.start(START);
  double last = 0.0;
  for (double now = START; now < WAKES; now += 1.0 / 60) {
    const double position = clock.position_at(now, AudioAnchor{});
    if (now - START <= PlaybackClock::STALL_SECONDS) {
      ASSERT_EQ(position, 0.0) << now;
    }
    ASSERT_GE(position, last) << now;
    last = position;
  }
  EXPECT_NEAR(last, WAKES - START, 0.05);
  FakeDevice late;  // its first callback at WAKES
  for (double now = WAKES; now < WAKES + 3.0; now += 1.0 / 60) {
    AudioAnchor anchor = late.anchor_at(now - WAKES);
    anchor.time += WAKES;
    const double position = clock.position_at(now, anchor);
    ASSERT_GE(position, last) << now;
    last = position;
  }
}

// The studio starts or seeks the music to a later place; a device that then never calls back runs
// the clock on from that place, not from 0.
TEST(PlaybackClock, RunsFreeFromWhereTheMusicWasStartedOrMoved) {
  constexpr double START = 3.0, AT = 42.0;
  PlaybackClock clock;
  clock.start(START, AT);
  EXPECT_EQ(clock.position_at(START + 0.1, AudioAnchor{}), AT);
  EXPECT_NEAR(clock.position_at(START + 2.0, AudioAnchor{}), AT + 2.0, 0.05);
}

TEST(PlaybackClock, JumpsALargeLagAndWaitsOutALead) {
  PlaybackClock clock;
  AudioAnchor a;
  a.valid = true;
  a.handed = 100.0;
  a.time = 0.0;
  a.position = 0.0;
  EXPECT_EQ(clock.position_at(0.0, a), 0.0);
  a.time = 0.02;
  a.position = 1.0;  // the device reports a second more than expected: jump, not a slow race
  EXPECT_DOUBLE_EQ(clock.position_at(0.02, a), 1.0);
  a.time = 0.04;
  a.position = 0.5;  // and then half a second less: hold still until the sound catches up
  EXPECT_DOUBLE_EQ(clock.position_at(0.04, a), 1.0);
  EXPECT_DOUBLE_EQ(clock.position_at(0.10, a), 1.0);
  EXPECT_GT(clock.position_at(0.70, a), 1.0);
}

TEST(PlaybackClock, NeverBeyondWhatWasHanded) {
  PlaybackClock clock;
  AudioAnchor a;
  a.valid = true;
  a.time = 0.0;
  a.position = 0.0;
  a.handed = 0.1;  // the device is being fed slowly (a late decoder), but it has not stalled
  for (double now = 0.0; now < 0.45; now += 0.01) ASSERT_LE(clock.position_at(now, a), 0.1);
}

}  // namespace
