#pragma once
// Where the timeline sits in the window and how its pixels map to rows. Window pixels, x from the
// left, y from the top. The strip spans the window's width along its bottom edge: the music's
// waveform above, one thin lane of key ticks per track below it.
#include <cstdint>

struct TimelineLayout {
  int x = 0, y = 0, width = 0, height = 0;  // the whole strip
  int wave_height = 0;                      // the waveform band at the strip's top
  float lane_height = 0;                    // each track's lane of key ticks, below the waveform
  bool contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

inline constexpr int TIMELINE_LANES = 22;  // one per scene track, in binding order

TimelineLayout timeline_layout(int window_width, int window_height);

// The rows the strip spans: the music's length, or the last key if that comes later; a minute when
// neither is known, so that an empty new show still has a timeline.
double timeline_span_rows(double music_length_rows, double last_key_row);

// A pixel column to a row (clamped to the span), and back.
double timeline_row_at(const TimelineLayout& layout, double span_rows, int px);
float timeline_x_of(const TimelineLayout& layout, double span_rows, double row);
