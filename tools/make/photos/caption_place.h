#pragma once
// Where a caption goes on a photo: in a corner of the part of it that is always on screen, never
// over a face; along the bottom edge, then the top, where every corner would cover one; nowhere
// when no place is free.
#include <optional>
#include <vector>

#include "tools/make/photos/subject_crop.h"

// The part of a photo always on screen, 0 to 1 across and down it.
struct SeenPart {
  double left = 0, top = 0, right = 1, bottom = 1;
};

// A caption_w × caption_h box in a photo_w × photo_h photo, `margin` pixels in from the seen
// part's edges, clear of every face by a tenth of its size.
std::optional<PixelBox> place_caption(int photo_w, int photo_h, int caption_w, int caption_h, int margin,
                                      const SeenPart& seen, const std::vector<PixelBox>& faces);
