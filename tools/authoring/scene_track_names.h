#pragma once
// The 22 tracks the show reads, in the order the scene binds them. The tool keeps its own copy so
// that it links without the renderer. A track under any other name would be written and never
// read, so the track tool refuses it.
#include <array>
#include <string_view>

inline constexpr std::array<std::string_view, 22> KESTO_TRACK_NAMES = {
    "back.n",  "back.x",  "back.y",  "back.r",     "back.g",    "back.b",    "back.scale", "back.rotx",
    "back.roty", "back.rotz", "beard.n", "beard.x", "beard.y",  "beard.r",  "beard.g",    "beard.b",
    "beard.scale", "beard.rotx", "beard.roty", "beard.rotz", "sad", "happy",
};

inline bool is_scene_track(std::string_view name) {
  for (std::string_view known : KESTO_TRACK_NAMES)
    if (known == name) return true;
  return false;
}
