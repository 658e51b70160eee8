#pragma once
// When each open entry can be seen, worked out from the tracks before the music starts: the
// streaming of open photos follows it, holding only what is about to be drawn.
#include <cstdint>
#include <vector>

// Whole rows, both ends included: the frames whose row lies in [first, last + 1).
struct RowSpan {
  int32_t first = 0, last = 0;
  friend bool operator==(const RowSpan&, const RowSpan&) = default;
};

struct OpenPhotoUse {
  uint32_t number = 0;
  std::vector<RowSpan> spans;       // sorted and apart (neither overlapping nor touching)
  float largest_scale_factor = 0;   // the largest |1 + scale| of a layer that shows it
};

struct OpenPhotoPlan {
  std::vector<OpenPhotoUse> uses;  // by increasing number; entries no layer can show are left out
};
