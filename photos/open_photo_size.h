#pragma once
// The size an open photo is decoded at: no larger than the screen needs at the largest scale the
// tracks give it, and never larger than its file. Fixed by the entry's uses and the screen, never
// by what was loaded before, so that every frame shows the same pixels however it was reached.
#include <cstdint>

struct PixelSize {
  uint32_t width = 0, height = 0;
  friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// The longest side a texture needs on a screen `screen_height` pixels high when the layer's scale
// factor (1 + scale) reaches `largest_scale_factor` in size: at depth 4 the screen is 3.31 units
// high and a layer's long side 2f units, which is 0.60·f·H pixels; 0.69·f·H leaves room for a
// tilt of 15°. At most twice the screen's height (beyond that the screen shows a part of the
// photo, and a sharper texture would cost four times the memory), at most `max_texture_size`, at
// least 16.
uint32_t open_photo_long_side(uint32_t screen_height, float largest_scale_factor, uint32_t max_texture_size);

// The texture of an upright `width` × `height` photo whose long side is at most `long_side`: the
// photo's own size when it is no larger, else scaled down keeping its aspect (each side at least 1).
PixelSize open_photo_texture_size(uint32_t width, uint32_t height, uint32_t long_side);

// libjpeg's DCT scaling: the denominator (8, 4, 2 or 1) of the smallest decode whose sides still
// reach `target` on both axes, so that the last step only ever shrinks.
uint32_t jpeg_scale_denominator(PixelSize stored, PixelSize target);

// Bytes of an RGBA texture of `size` with all its mipmap levels.
uint64_t mipmapped_bytes(PixelSize size);
