#pragma once
// Shrinking an RGBA picture by area: each output pixel is the mean of the source area it covers,
// partly covered source pixels counting by their share. Sharp and free of aliasing at any ratio,
// which a bilinear sample is not below one half.
#include <cstddef>
#include <cstdint>

// `src` is src_width × src_height RGBA with rows `src_pitch` bytes apart; `dst` dst_width ×
// dst_height RGBA, packed, rows in the same order as the source's. The output may not be larger
// than the source on either axis.
void shrink_by_area(const uint8_t* src, uint32_t src_width, uint32_t src_height, size_t src_pitch, uint8_t* dst,
                    uint32_t dst_width, uint32_t dst_height);
