#pragma once
// The show's tracks from the music's map and the catalogue's plan: photo changes on bar lines,
// slow moves and zooms between them, pulses on strong beats in loud sections, turns at section
// changes, the backdrop in quiet passages, a fade in from black, the layers leaving before the
// end and "happy" 2 where the music ends. Pure: the same inputs always give the same text.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/make/catalogue_plan.h"
#include "tools/make/make_options.h"
#include "tools/make/music_map.h"

struct ChoreographyInput {
  MusicMap music;
  CataloguePlan plan;
  ShowStyle style = ShowStyle::Lively;
  uint64_t seed = 1;
  std::string song_name;  // for the header comment
};

// Row of a time: the show's rows are 20 a second.
int row_of(double seconds);

// A photo change the choreography makes: the row, the layer ("back" or "beard") and the entry.
struct PhotoChange {
  int row;
  std::string layer;
  int entry;
};

struct Choreography {
  std::string text;                  // show.txt, every one of the 22 tracks written out
  std::vector<PhotoChange> changes;  // every visible photo change, in row order
};

Choreography make_choreography(const ChoreographyInput& in);
