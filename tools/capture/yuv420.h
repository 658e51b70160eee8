#pragma once
// Frames as the encoder takes them: 8-bit Y'CbCr 4:2:0 in three planes (I420), BT.709 matrix,
// limited range (Y' 16-235, Cb and Cr 16-240), chroma the mean of each 2 × 2 block of pixels (centre
// sited, as JPEG and MPEG-1 place it). 1.5 bytes a pixel instead of RGBA's 4.
//
// The conversion is exact integer arithmetic, so any implementation of it gives the same bytes:
//   Y' = 16  + (( 5983 R  + 20127 G  +  2032 B  + 2^14) >> 15)
//   Cb = 128 + ((-6596 ΣR - 22188 ΣG + 28784 ΣB + 2^17) >> 18)
//   Cr = 128 + ((28784 ΣR - 26145 ΣG -  2639 ΣB + 2^17) >> 18)
// with R, G, B one pixel's 8-bit values and ΣR, ΣG, ΣB the sums over its 2 × 2 block; >> floors,
// so every value is rounded half up. The coefficients are BT.709's scaled by 219/255 (luma, in
// units of 2^-15) and 224/255 (chroma, 2^-16 of the block's mean), rounded to the nearest, the
// chroma ones adjusted so that each row sums to 0 (grey has no colour). Every coefficient fits in
// 16 signed bits, so that SIMD multiply-adds compute exactly this. Alpha is not read: the screen
// shows none.
#include <cstddef>
#include <cstdint>

// Bytes of a width × height I420 frame: the Y' plane, then Cb and Cr at half width and height.
// Both sides must be even.
inline size_t yuv420_bytes(int width, int height) {
  return size_t(width) * size_t(height) * 3 / 2;
}

// Converts RGBA rows as GL reads them (bottom row first, `width` × 4 bytes each, no padding) into
// an I420 frame top row first: row 0 of the output is the last row of `rgba`. Both sides even.
void rgba_bottom_up_to_yuv420(const uint8_t* rgba, int width, int height, uint8_t* yuv);
