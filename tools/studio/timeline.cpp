#include "tools/studio/timeline.h"

#include <algorithm>

#include "show/music_clock.h"

namespace {

constexpr int MIN_HEIGHT = 46, MAX_HEIGHT = 132;  // 1 .. 4 pixels a lane, with the waveform above
constexpr double EMPTY_SPAN_SECONDS = 60.0;

}  // namespace

TimelineLayout timeline_layout(int window_width, int window_height) {
  TimelineLayout t;
  t.height = std::clamp(window_height / 6, MIN_HEIGHT, MAX_HEIGHT);
  t.height = std::min(t.height, std::max(window_height, 0));
  t.width = std::max(window_width, 0);
  t.x = 0;
  t.y = std::max(window_height, 0) - t.height;
  t.wave_height = t.height * 2 / 5;
  t.lane_height = static_cast<float>(t.height - t.wave_height) / TIMELINE_LANES;
  return t;
}

double timeline_span_rows(double music_length_rows, double last_key_row) {
  const double span = std::max(music_length_rows, last_key_row);
  return span > 0.0 ? span : EMPTY_SPAN_SECONDS * ROW_RATE;
}

double timeline_row_at(const TimelineLayout& layout, double span_rows, int px) {
  if (layout.width <= 1) return 0.0;
  // The last column is the end itself, so a click on the far right reaches it.
  const double fraction = static_cast<double>(px - layout.x) / (layout.width - 1);
  return std::clamp(fraction, 0.0, 1.0) * span_rows;
}

float timeline_x_of(const TimelineLayout& layout, double span_rows, double row) {
  if (span_rows <= 0.0 || layout.width <= 1) return static_cast<float>(layout.x);
  return static_cast<float>(layout.x + row / span_rows * (layout.width - 1));
}
