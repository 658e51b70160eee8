#pragma once
// What a photo looks like, told from a small grey copy of it: a hash that near-identical pictures
// share (the same photo under two names, shots of a burst), how sharp it is, and how dark. Plain
// arithmetic, so it is tested on made-up pictures.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/make/photos/photo_order.h"

// The side of the copy the photo is looked at in.
inline constexpr int QUALITY_SIDE = 480;  // a 12-megapixel JPEG decodes at an eighth of its size to this

struct PhotoLooks {
  uint64_t hash = 0, vertical_hash = 0;  // each cell brighter than the next across, and down
  float sharpness = 0;  // the finest detail: the Laplacian's deviation, in grey levels
  float detail = 0;     // the same an octave coarser, on a half-size copy
  float luma = 0;       // mean, 0 to 255
  float dark = 0;       // share of pixels below 24
};

// `grey`: width × height bytes, top row first.
PhotoLooks look_at(const uint8_t* grey, int width, int height);

int hash_distance(uint64_t a, uint64_t b);

// Below this a photo is blurred: sharp photos keep 6 to 40 grey levels of fine detail at this
// size, one blurred by a twentieth of its width 1 to 3.
inline constexpr float BLURRED_BELOW = 3.0f;
// Below this a photo has no detail to judge (a blank wall, a white page).
inline constexpr float NO_DETAIL_BELOW = 1.0f;
// A photo mostly this dark is nearly black.
inline constexpr float NEARLY_BLACK_SHARE = 0.9f;

// Why a photo is a poor one to show ("blurred", "nearly black"), or empty.
std::string photo_flaw(const PhotoCandidate& p);

// Seconds since 0000:01:01 of an EXIF time ("2019:05:04 12:00:01"); negative when there is none.
double taken_seconds(const std::string& taken);

// The photos, in show order, that repeat one before them: the same picture (under another name, in
// another size or compression) or a shot of the same burst (taken within seconds, nearly the same).
// For each photo, the index of the photo it repeats, or -1. Of a group the best stays (without a
// flaw, the largest, the sharpest), moved to the place of the first.
struct Duplicates {
  std::vector<int> same_as;  // -1: kept
};
Duplicates find_duplicates(std::vector<PhotoCandidate>& photos);
