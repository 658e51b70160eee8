#include "tools/capture/end_of_show.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "show/music_clock.h"
#include "show/scene_tracks.h"
#include "tools/capture/capture_options.h"

namespace {

// The row after which nothing changes when no music sets the end: the last key of any track.
double last_key_row() {
  double last = 0;
  for (const auto& track : scene_track_store().tracks)
    if (!track->keys.empty()) last = std::max(last, static_cast<double>(track->keys.back().row));
  return last;
}

}  // namespace

std::optional<double> end_of_show_row(const SyncTrack& happy, double from, double until) {
  if (happy.keys.empty() || !(until >= from)) return std::nullopt;
  constexpr double STEPS_PER_ROW = 64.0;
  const double first = std::ceil(from * STEPS_PER_ROW), last = std::floor(until * STEPS_PER_ROW);
  for (double i = first; i <= last; ++i) {
    const double row = i / STEPS_PER_ROW;
    if (static_cast<int>(get_value(happy, row)) == 2) return row;
  }
  return std::nullopt;
}

std::string time_text(double row) {
  char text[64];
  std::snprintf(text, sizeof text, "%gs (row %g)", row / ROW_RATE, row);
  return text;
}

CaptureEnd capture_end(const CaptureOptions& options, double music_seconds) {
  CaptureEnd end{0, "", false};
  if (options.to_row) end = {*options.to_row, ", until --to at ", false};
  if (music_seconds > 0 && (!options.to_row || seconds_to_row(music_seconds) < end.row))
    end = {seconds_to_row(music_seconds), ", until the music ended at ", false};
  if (!options.to_row && music_seconds <= 0) end = {last_key_row(), ", to the last key at ", true};
  if (const std::optional<double> happy = end_of_show_row(*scene_tracks().happy, options.from_row, end.row);
      happy && (*happy < end.row || !end.included))
    end = {*happy, ", until \"happy\" ended the show at ", false};
  end.why += time_text(end.row);
  return end;
}
