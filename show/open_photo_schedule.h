#pragma once
// The rows at which each open entry can be seen, read from the scene's tracks: a layer's n names
// the entry (a step key its one value; a linear, smooth or ramp key every whole number between its
// two values, each over the rows it holds there, found by bisecting the curve the frames evaluate)
// while that layer can be seen. A layer counts as unseen only where that is certain: its scale
// held at −1 (nothing drawn), or r, g and b held at 0 on an opaque photo (black whatever the
// photo). Off screen or covered by the other layer still counts as seen: planning too much costs
// memory, too little would change the picture. Nothing is planned after "happy" surely ends the show.
#include <cstdint>
#include <span>

#include "photos/open_entries.h"
#include "photos/open_photo_plan.h"
#include "show/scene_tracks.h"

struct OpenPhotoCandidate {
  uint32_t number = 0;
  bool opaque = false;  // every pixel opaque (a JPEG): a black layer shows nothing of it
};

// `candidates` by increasing number. Every span is widened by a row on each side.
OpenPhotoPlan plan_open_photos(const SceneTracks& tracks, std::span<const OpenPhotoCandidate> candidates);
