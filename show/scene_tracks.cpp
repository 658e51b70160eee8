// The scene's track bindings: which track drives what, fetched once from the one store.
#include "show/scene_tracks.h"

#include <cmath>
#include <memory>

#include "show/music_clock.h"

const char* const SCENE_TRACK_NAMES[SCENE_TRACK_COUNT] = {
    "back.n",  "back.x",  "back.y",  "back.r",  "back.g",  "back.b",  "back.scale",  "back.rotx",  "back.roty",  "back.rotz",
    "beard.n", "beard.x", "beard.y", "beard.r", "beard.g", "beard.b", "beard.scale", "beard.rotx", "beard.roty", "beard.rotz",
    "sad",     "happy",
};

namespace {

std::unique_ptr<SyncTrackStore> store;
SceneTracks tracks{};

// Fetches the ten tracks of a layer; `names` points at its first name in SCENE_TRACK_NAMES.
LayerTracks bind_layer(SyncTrackStore& from, const char* const* names) {
  LayerTracks layer{};
  SyncTrack** fields[] = {&layer.n, &layer.x, &layer.y, &layer.r, &layer.g,
                          &layer.b, &layer.scale, &layer.rotx, &layer.roty, &layer.rotz};
  for (SyncTrack** field : fields) *field = get_track(from, *names++);
  return layer;
}

const SyncTrackStore empty_store{};

}  // namespace

void init_music_and_tracks() {
  open_music();
  bind_tracks();
}

void bind_tracks() {
  // The handles live in the new store; the old one goes only after every field has moved on.
  auto fresh = create_track_store("sync");
  SceneTracks bound{};
  bound.back = bind_layer(*fresh, SCENE_TRACK_NAMES);
  bound.beard = bind_layer(*fresh, SCENE_TRACK_NAMES + 10);
  bound.sad = get_track(*fresh, SCENE_TRACK_NAMES[20]);
  bound.happy = get_track(*fresh, SCENE_TRACK_NAMES[21]);
  tracks = bound;
  store = std::move(fresh);
}

const SceneTracks& scene_tracks() { return tracks; }

const SyncTrackStore& scene_track_store() { return store ? *store : empty_store; }

uint32_t layer_texture_name(float n) {
  // Converting a NaN or an out-of-range float to an integer is undefined; a float at or beyond
  // 2^63 in size is a whole multiple of 2^32, so its low 32 bits are exactly 0.
  if (std::isnan(n) || std::fabs(n) >= 9223372036854775808.0f) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(n)));
}

int32_t happy_state(float happy) {
  if (std::isnan(happy)) return 0;
  if (happy >= 2147483648.0f) return INT32_MAX;
  if (happy < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(happy);
}
