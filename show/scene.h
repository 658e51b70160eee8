#pragma once
// The per-frame picture: backdrop and the layers "back" and "beard", from track values at one row.
#include <cstdint>

#include "show/scene_tracks.h"

inline constexpr float LAYER_DEPTH = -4.0f;
inline constexpr uint32_t BACKDROP_TEXTURE = 17;
inline constexpr float BACKDROP_SCALE = 3.0f;

enum class FrameResult { Presented, EndOfShow };

// One frame at the music's current row, shown by calling `present` once it is drawn (the window's
// or an offscreen context's swap, which the caller owns). EndOfShow: "happy" truncated to 2, nothing
// drawn or presented.
FrameResult render_frame(void (*present)());
// The same frame at a given row (tests and capture render exactly this).
FrameResult render_frame_at(double row, void (*present)());

// The catalogue's texture names (below PHOTO_COUNT) the frame at `row` draws with: the backdrop's
// while "happy" shows it, and each layer's unless its scale shrinks it to nothing. For captures,
// which load a catalogue photo only for the frames that draw it.
struct FrameTextures {
  uint32_t names[3];
  int count = 0;
};
FrameTextures catalogue_textures_at(double row);

// The frame's background: the clear, then the backdrop (photo 17, three times a layer's size)
// when `backdrop`. It never moves, so a capture may put the same pixels in place some cheaper way
// (a copy kept from a frame that drew it): the function set here then makes every frame's
// background instead, nullptr (the default) for draw_background. It must leave the modelview
// matrix current.
void draw_background(bool backdrop);
using BackgroundFunction = void (*)(bool backdrop);
void set_background_function(BackgroundFunction function);

void draw_layer(const LayerTracks& layer, double row);
void draw_quad();
