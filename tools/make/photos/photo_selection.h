#pragma once
// Which photos a show has room for: all of them when the music is long enough at the style's pace,
// otherwise an even spread over the whole set that keeps the first and the last, so that a trip
// keeps its ends; a poor photo (blurred, nearly black) in the spread gives way to a good one near
// it.
#include <vector>

struct PhotoSelection {
  std::vector<int> shown;   // indexes, ascending
  std::vector<int> unused;  // the others, ascending
};

// Of `count` photos in show order, at most `room` (at least 1). `poor`: by photo, empty for none.
PhotoSelection select_photos(int count, int room, const std::vector<bool>& poor = {});
