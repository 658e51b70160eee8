#pragma once
// What a show text leaves out, filled in the way an author means it. The show itself reads a
// missing track as 0 everywhere, which draws each layer as photo 0 at natural size in black, right
// over the picture the author wrote; so the authoring tools write every track, always:
//   - a colour track ("back.r", ...) the text leaves out is 1: the photo as it is;
//   - a layer none of whose ten tracks the text mentions is hidden: its scale is -1 (size 0);
//   - without a "happy" track the show ends where its music ends (when there is music);
//   - every other track left out is 0.
// A track the text names, even without keys, is taken as the text gives it.
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/authoring/show_text.h"

inline constexpr float DEFAULT_COLOUR = 1.0f;
inline constexpr float HIDDEN_LAYER_SCALE = -1.0f;
inline constexpr float END_OF_SHOW = 2.0f;  // "happy" at 2 ends the show

// All 22 scene tracks in binding order, each with the keys the show should read. `music_end_row`
// is the last row the music reaches (see music_end_row), or none when there is no music.
std::vector<TextTrack> whole_show_tracks(const ShowText& show, std::optional<int32_t> music_end_row);
