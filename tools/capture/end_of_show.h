#pragma once
// Where a capture ends: "happy" reaching 2, --to, the music's end, or (without music) the last key,
// whichever comes first, and the words that say which.
#include <optional>
#include <string>

#include "sync/sync_track.h"

struct CaptureOptions;

// The first row in [from, until] at which "happy" reads from 2 to below 3; none when it never does
// there. Rows between keys are looked at every 1/64 of a row, finer than any frame rate meets them.
std::optional<double> end_of_show_row(const SyncTrack& happy, double from, double until);

struct CaptureEnd {
  double row;
  std::string why;  // ", until ..." for the last line
  bool included;    // the end row itself is a frame (the last key's)
};

// For the scene's tracks as bound now, and music of `music_seconds` (0: none).
CaptureEnd capture_end(const CaptureOptions& options, double music_seconds);

// "12.5s (row 250)", for the lines that say where a capture ended.
std::string time_text(double row);
