#pragma once
// The scene's 22 tracks, bound once from the one store, and what their values mean to the picture.
#include <cstdint>

#include "sync/sync_track.h"

struct LayerTracks {
  SyncTrack *n, *x, *y, *r, *g, *b, *scale, *rotx, *roty, *rotz;
};

struct SceneTracks {
  LayerTracks back;
  LayerTracks beard;
  SyncTrack* sad;
  SyncTrack* happy;
};

// The 22 track names in the order bind_tracks fetches them.
inline constexpr int SCENE_TRACK_COUNT = 22;
extern const char* const SCENE_TRACK_NAMES[SCENE_TRACK_COUNT];

void init_music_and_tracks();  // open_music, then bind_tracks
// The one store, base "sync", and the 22 tracks in their order. A later call (tests, the capture
// tool after a change of folder) replaces the store and rebinds every track from the files.
void bind_tracks();
const SceneTracks& scene_tracks();
const SyncTrackStore& scene_track_store();  // the store bind_tracks made; empty before

// A layer's texture name from its "n" value: truncated toward zero to 64 bits, the low 32 bits.
// NaN gives 0; beyond the 64-bit range every float is a multiple of 2^32, so those give 0 too.
uint32_t layer_texture_name(float n);
// "happy" truncated toward zero: 1 shows the backdrop, 2 ends the show. NaN gives 0; values
// beyond the 32-bit range saturate (and so neither show the backdrop nor end the show).
int32_t happy_state(float happy);
