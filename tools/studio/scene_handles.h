#pragma once
// The scene's 22 track handles as a list, in the order of SCENE_TRACK_NAMES (the binding order).
#include <array>

#include "show/scene.h"

inline std::array<SyncTrack*, SCENE_TRACK_COUNT> scene_handles(const SceneTracks& t) {
  return {t.back.n,  t.back.x,  t.back.y,  t.back.r,  t.back.g,  t.back.b,  t.back.scale,  t.back.rotx,
          t.back.roty, t.back.rotz, t.beard.n, t.beard.x, t.beard.y, t.beard.r, t.beard.g, t.beard.b,
          t.beard.scale, t.beard.rotx, t.beard.roty, t.beard.rotz, t.sad, t.happy};
}
