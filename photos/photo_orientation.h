#pragma once
// How a photo is turned to stand upright: the EXIF orientation a camera writes instead of turning
// the pixels (a phone held upright stores its picture on its side, orientation 6).
//
//   1 as stored        2 mirrored left to right     3 turned 180°       4 mirrored top to bottom
//   5 transposed       6 turned 90° clockwise       7 transverse        8 turned 90° anticlockwise
//
// 5 to 8 swap width and height.
#include <cstdint>
#include <span>

// The orientation in a TIFF structure (the body of a JPEG's Exif APP1 segment after its
// "Exif\0\0", or a PNG's eXIf chunk): IFD0's tag 0x0112. 1 when it is absent or out of range, or
// the structure is cut short or malformed.
uint8_t tiff_orientation(std::span<const uint8_t> tiff);

// The orientation a JPEG's or a PNG's first bytes carry; 1 for any other file.
uint8_t photo_orientation(std::span<const uint8_t> file_start);

inline bool orientation_swaps_sides(uint8_t orientation) { return orientation >= 5 && orientation <= 8; }

// `top_first` (width × height RGBA, top row first, as stored) turned upright by `orientation`,
// into `out` with the bottom row first, as GL takes it. `out` holds the upright picture's size:
// height × width when the orientation swaps the sides.
void orient_bottom_first(const uint8_t* top_first, uint32_t width, uint32_t height, uint8_t orientation,
                         uint8_t* out);
