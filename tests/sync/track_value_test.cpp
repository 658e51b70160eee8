// Evaluation at fractional rows: key selection, the four interpolations, the rounding, and the
// rows outside the keys.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "sync/sync_track.h"

namespace {

SyncTrack track_of(std::vector<TrackKey> keys) {
  SyncTrack t;
  t.name = "test";
  t.keys = std::move(keys);
  return t;
}

// The pair of keys that most cases use: row 10 value 0 (of the type under test), row 20 value 1.
SyncTrack pair(int32_t type) { return track_of({{10, 0.0f, type}, {20, 1.0f, Step}}); }

struct Case {
  const char* what;
  SyncTrack track;
  double row;
  float expected;  // compared bit for bit: the single rounding is part of the contract
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what << " at row " << c.row; }

class ValueAt : public ::testing::TestWithParam<Case> {};

TEST_P(ValueAt, IsExact) {
  const Case& c = GetParam();
  EXPECT_EQ(get_value(c.track, c.row), c.expected) << c.what << " at row " << c.row;
}

const SyncTrack single = track_of({{7, 3.5f, Linear}});
const SyncTrack three = track_of({{-5, -2.0f, Linear}, {0, 4.0f, Smooth}, {100, 8.0f, Ramp}});

INSTANTIATE_TEST_SUITE_P(
    Track, ValueAt,
    ::testing::Values(
        Case{"no keys", SyncTrack{}, 0.0, 0.0f},
        Case{"no keys, far row", SyncTrack{}, -1234.5, 0.0f},
        Case{"single key before", single, -100.0, 3.5f},
        Case{"single key at", single, 7.0, 3.5f},
        Case{"single key inside its row", single, 7.5, 3.5f},
        Case{"single key after", single, 1e6, 3.5f},
        Case{"linear at first key", pair(Linear), 10.0, 0.0f},
        Case{"linear midway", pair(Linear), 15.0, 0.5f},
        Case{"linear just before next", pair(Linear), 19.999, float((19.999 - 10.0) / 10.0)},
        Case{"linear at next key", pair(Linear), 20.0, 1.0f},
        Case{"after last key", pair(Linear), 25.0, 1.0f},
        Case{"before first key, linear", pair(Linear), 9.999, 0.0f},
        Case{"smooth midway", pair(Smooth), 15.0, 0.5f},
        Case{"smooth quarter", pair(Smooth), 12.5, 0.15625f},
        Case{"ramp midway", pair(Ramp), 15.0, 0.25f},
        Case{"ramp quarter", pair(Ramp), 12.5, 0.0625f},
        Case{"step holds", pair(Step), 15.0, 0.0f},
        Case{"step holds to the end", pair(Step), 19.999, 0.0f},
        Case{"step reaches next key", pair(Step), 20.0, 1.0f},
        Case{"type 0xFF between keys", pair(-1), 15.0, 0.0f},
        Case{"type 0xFF at its key", pair(-1), 10.0, 0.0f},
        Case{"type 4", pair(4), 15.0, 0.0f},
        Case{"type -128", pair(-128), 12.0, 0.0f},
        Case{"unknown type does not govern the last key", pair(-1), 20.0, 1.0f},
        Case{"first key's value before it, whatever its type", pair(-1), 3.0, 0.0f},
        Case{"negative row floors down: -0.5 is row -1", three, -0.5,
             float(-2.0 + 6.0 * ((-0.5 + 5.0) / 5.0))},
        Case{"before a negative first key", three, -5.5, -2.0f},
        Case{"exact hit on middle key", three, 0.0, 4.0f},
        Case{"smooth from a middle key", three, 50.0, 6.0f},
        Case{"ramp last key is not interpolated", three, 100.5, 8.0f},
        Case{"not a number counts as before", pair(Linear), std::nan(""), 0.0f},
        Case{"beyond 32-bit rows", pair(Linear), 1e300, 1.0f},
        Case{"before 32-bit rows", pair(Linear), -1e300, 0.0f}));

// Keys on one row: the last of them governs from that row on, and no division by zero leaks a
// NaN or an infinity into the scene.
INSTANTIATE_TEST_SUITE_P(
    SameRow, ValueAt,
    ::testing::Values(
        Case{"two keys only, at the row", track_of({{10, 1.0f, Linear}, {10, 2.0f, Linear}}), 10.0, 2.0f},
        Case{"two keys only, inside the row", track_of({{10, 1.0f, Linear}, {10, 2.0f, Linear}}), 10.5, 2.0f},
        Case{"two keys only, before", track_of({{10, 1.0f, Linear}, {10, 2.0f, Linear}}), 9.0, 1.0f},
        Case{"pair at the end, at the row", track_of({{0, 0.0f, Linear}, {10, 1.0f, Linear}, {10, 2.0f, Linear}}),
             10.0, 2.0f},
        Case{"pair at the end, inside the row",
             track_of({{0, 0.0f, Linear}, {10, 1.0f, Linear}, {10, 2.0f, Linear}}), 10.5, 2.0f},
        Case{"approach reaches the earlier key",
             track_of({{0, 0.0f, Linear}, {10, 1.0f, Linear}, {10, 2.0f, Linear}}), 5.0, 0.5f},
        Case{"later key interpolates on",
             track_of({{0, 0.0f, Step}, {10, 1.0f, Linear}, {10, 2.0f, Linear}, {20, 4.0f, Step}}), 15.0, 3.0f},
        Case{"three on one row",
             track_of({{10, 1.0f, Linear}, {10, 2.0f, Linear}, {10, 3.0f, Linear}, {30, 5.0f, Step}}), 20.0, 4.0f}));

TEST(ValueAt, FractionOfTheRowIsKept) {
  // Two rows 1/3 apart inside the same whole row give different values.
  const SyncTrack t = pair(Linear);
  EXPECT_LT(get_value(t, 12.25), get_value(t, 12.75));
}

TEST(ValueAt, LinearIsMonotonicAcrossAManyKeyTrack) {
  std::vector<TrackKey> keys;
  for (int32_t i = 0; i < 1000; ++i) keys.push_back({i * 3, float(i), Linear});
  const SyncTrack t = track_of(keys);
  float last = -1.0f;
  for (double row = 0.0; row < 3000.0; row += 0.37) {
    const float v = get_value(t, row);
    ASSERT_GE(v, last) << row;
    ASSERT_NEAR(v, std::min(row / 3.0, 999.0), 1e-3) << row;
    last = v;
  }
}

TEST(ValueAt, ExtremeRowsDoNotOverflow) {
  const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  const SyncTrack t = track_of({{lo, -1.0f, Linear}, {hi, 1.0f, Linear}});
  EXPECT_EQ(get_value(t, double(lo)), -1.0f);
  EXPECT_NEAR(get_value(t, -0.5), 0.0f, 1e-6);
  EXPECT_EQ(get_value(t, double(hi)), 1.0f);
}

}  // namespace
