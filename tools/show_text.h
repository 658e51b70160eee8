#pragma once
// The text form of a show's tracks, for authors: one file holds every track.
//
//   # comments run from '#' to the end of the line; blank lines are ignored
//   back.x                      <- a track name alone on its line starts that track
//     0      0      smooth      <- a key: time, value, interpolation to the next key
//     12.5s  1.5    linear      <- times are rows (20 a second) or seconds with an 's'
//
// A time in seconds must land on a whole row (a multiple of 0.05 s): the show's keys sit on
// rows, and moving a key by up to 25 ms behind the author's back would put it off the beat,
// so such a time is an error rather than rounded. Interpolations are "step", "linear",
// "smooth" and "ramp". Values are decimal floats, parsed to the nearest float.
#include <string>
#include <string_view>
#include <vector>
#include "sync/sync_track.h"

struct TextTrack {
  std::string name;
  std::vector<TrackKey> keys;
  int line = 0;  // where its name stands
};

struct ShowText {
  std::vector<TextTrack> tracks;    // in the order they appear
  std::vector<std::string> errors;  // "FILE:LINE: message", in line order; empty when the text is sound
};

ShowText parse_show_text(std::string_view text, std::string_view file_name);

// The track as text that parse_show_text reads back to the very same keys, bit for bit.
std::string format_track_text(std::string_view name, const std::vector<TrackKey>& keys);

// Shortest decimal form that parses back to exactly this float ("0.1", "-0", "1e-45").
std::string format_float(float v);

// "step", "linear", "smooth", "ramp"; empty for any other code.
std::string_view interpolation_name(int32_t type);
