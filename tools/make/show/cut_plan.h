#pragma once
// When each unit of photos comes on screen: the units spread over the music so that every one is
// shown, held longer in quiet sections and shorter in loud ones, each change on a beat: a bar line
// when holds are bars long, the half bar or any beat when they are shorter, a section's first beat
// when one is near. Too few units for the music: they come round again rather than being held for
// ever.
#include <vector>

#include "tools/make/music/music_map.h"

struct Slot {
  int row = 0, end = 0;  // the rows the unit is on screen, [row, end)
  int unit = 0;          // index into the units (they come round again when there are too few)
  int section = 0;       // index into MusicMap::sections of the section `row` lies in
  bool section_start = false;
};

struct Pacing {
  double hold = 2.4;      // seconds a unit of weight 1 is held in a mid-energy section
  double longest = 5.0;   // no unit of weight 1 is held longer (mid energy): they come round again
};

// How much longer than in a mid section a photo is held in a section of this energy.
double energy_hold_factor(Energy e);

// Slots for units of these weights from row 0 to `last_row`, on the beats of `music`. Each unit
// has a slot, in order, unless the music has no beat left for it (then the slots stop early). A
// unit that opens a chapter (`chapters`, by unit; empty: none) begins on a section's first beat
// where one is within two of its holds, the units around it drawn along evenly.
std::vector<Slot> plan_slots(const MusicMap& music, const std::vector<double>& weights, const Pacing& pacing,
                             int last_row, const std::vector<bool>& chapters = {});

// The time of a section's first beat.
double section_time(const MusicMap& music, int section);
