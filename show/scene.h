#pragma once
// The per-frame picture: backdrop and the layers "back" and "beard", from track values at one row.
#include <cstdint>
#include "sync/sync_track.h"

inline constexpr float LAYER_DEPTH = -4.0f;
inline constexpr uint32_t BACKDROP_TEXTURE = 17;
inline constexpr float BACKDROP_SCALE = 3.0f;

struct LayerTracks {
  SyncTrack *n, *x, *y, *r, *g, *b, *scale, *rotx, *roty, *rotz;
};

struct SceneTracks {
  LayerTracks back;
  LayerTracks beard;
  SyncTrack* sad;
  SyncTrack* happy;
};

enum class FrameResult { Presented, EndOfShow };

void init_music_and_tracks();  // open_music, then bind_tracks
void bind_tracks();            // the one store, base "sync", and the 22 tracks in their order
const SceneTracks& scene_tracks();

// One frame at the music's current row. EndOfShow: "happy" truncated to 2, nothing drawn or presented.
FrameResult render_frame();
// The same frame at a given row (tests and capture render exactly this).
FrameResult render_frame_at(double row);

void draw_layer(const LayerTracks& layer, double row);
void draw_quad();
