#pragma once
// Times as show.txt writes them, on the music's own beat grids: a "bpm", "beats" and "start" line
// for each song (bars counting on from one song to the next, as the show text counts them), and
// each row as BAR:BEAT on the grid in force there: "17:3" on a beat, "17:3.25" between beats, the
// row itself before bar 1. Every time written reads back to its very row.
#include <string>

#include "tools/authoring/show_text.h"
#include "tools/make/music/music_map.h"

class BeatTimes {
 public:
  explicit BeatTimes(const MusicMap& music);
  // The grid lines, each song's with its name in a comment.
  const std::string& grid_lines() const { return lines_; }
  std::string text(int row) const;

 private:
  std::string lines_;
  ShowText grid_;  // the lines as the show text reads them
};
