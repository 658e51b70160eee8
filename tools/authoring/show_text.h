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
//
//   bpm 120                     <- the music's tempo, anywhere in the file, at most once
//   beats 4                     <- beats to a bar (4 when not given)
//   start 0.35s                 <- where bar 1 beat 1 falls in the music (0 when not given)
//
// With a tempo, times may also be bars and beats, "17:3" (both from 1, as the studio counts
// them), with a fraction of a beat, "17:3.5"; such a time becomes the nearest row (halves away
// from zero). A pattern line repeats keys on the beat grid:
//
//   repeat 9:1 to 17:1 every 1 beat: 3 step, 4 step, 5 step, 6 step
//
// keys at 9:1, 9:2, ... before 17:1, the values going round the list, which must go round a whole
// number of times. A key at a negative row, two keys at one row, keys out of order and a key
// inside a pattern's span are errors.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "sync/sync_track.h"
#include "sync/track_file.h"

struct TextTrack {
  std::string name;
  std::vector<TrackKey> keys;
  int line = 0;                // where its name stands
  std::vector<int> key_lines;  // the line each key comes from (a key line or a pattern)
};

inline constexpr double MAX_BPM = 1000.0;
// The most keys one text may make, over all its tracks; each track holds at most MAX_TRACK_KEYS
// (sync/track_file.h). A pattern line makes up to 100000 keys, so a few hundred lines could
// otherwise ask for gigabytes; a key beyond either limit is a fault of the line that makes it.
inline constexpr size_t MAX_TEXT_KEYS = size_t(1) << 20;
// The most faults reported one by one; any beyond are one last line, "FILE:LINE: and N more faults
// from here on", at the first of them. A file that is no show text has a fault on every line.
inline constexpr size_t MAX_REPORTED_FAULTS = 100;
inline constexpr int MAX_BEATS_PER_BAR = 64;

struct ShowText {
  std::vector<TextTrack> tracks;    // in the order they appear
  std::vector<std::string> errors;  // "FILE:LINE: message", in line order; empty when the text is sound
  double bpm = 0.0;                 // beats a minute, in (0, MAX_BPM]; 0 when the text gives none
  int beats_per_bar = 0;            // 1..MAX_BEATS_PER_BAR; 0 when the text gives none
  double start_row = 0.0;           // where bar 1 beat 1 falls ("start"), in rows, maybe fractional
};

ShowText parse_show_text(std::string_view text, std::string_view file_name);

// The row a time written in `show` stands for ("120", "6s", "17:3.5" on its beat grid): the very
// row a key written with it gets. None, with `why`, when it is not a time there.
std::optional<int32_t> row_of_time(std::string_view time, const ShowText& show, std::string& why);

// The track as text that parse_show_text reads back to the very same keys, bit for bit.
std::string format_track_text(std::string_view name, const std::vector<TrackKey>& keys);

// Shortest decimal form that parses back to exactly this float ("0.1", "-0", "1e-45").
std::string format_float(float v);

// "step", "linear", "smooth", "ramp"; empty for any other code.
std::string_view interpolation_name(int32_t type);
