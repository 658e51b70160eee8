#pragma once
// A JPEG as the show needs it, without decoding it again: the segments a decoder reads (frame,
// tables, scans) byte for byte, and of its metadata only the orientation, so that the photo is
// neither recompressed nor carries its camera's notes (places, owner, thumbnails) into the show.
#include <cstdint>
#include <string>
#include <string_view>

// The copy, or empty when the file is not a JPEG the show can take as it is: a frame other than
// baseline or progressive Huffman with 8-bit samples, other than 1 or 3 components, a colour
// profile other than sRGB, or a file cut short. Everything after the end of the image (the video
// of a "motion photo") is left behind. `orientation` (1 to 8) is written as EXIF unless it is 1.
std::string stripped_jpeg(std::string_view jpeg, int orientation);

// Whether an ICC profile describes sRGB: its red, green and blue colorants those of sRGB (D50),
// and its tone curves near sRGB's. False for anything that cannot be read as a profile.
bool icc_is_srgb(std::string_view profile);
