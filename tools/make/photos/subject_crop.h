#pragma once
// Where a crop of a photo goes so that it keeps the subject: the faces when the photo has them,
// else the point libvips' attention search finds. Pixels of the photo as it is cropped.
#include <vector>

struct PixelBox {
  int left = 0, top = 0, width = 0, height = 0;
};

// The top left corner of the crop.
struct CropCorner {
  int left = 0, top = 0;
};

// A crop_w × crop_h crop of a photo_w × photo_h photo holding its faces whole, with room around
// them for hair and chin: all of them if they fit together, else as many as fit, the largest
// first (the largest alone, even if only its bare box fits or not even that). Centred on them as
// far as the photo allows, a little above the middle, where the body below belongs too, so that
// the crop reaches an edge of the photo only where the faces lie near it. `faces` not empty.
CropCorner crop_around_faces(int photo_w, int photo_h, int crop_w, int crop_h, const std::vector<PixelBox>& faces);

// A crop around the attention search's hot spot. The spot is a point, often a bright edge beside
// the subject: the crop is centred a third of the way back towards the photo's middle, so that it
// reaches an edge of the photo only where the spot lies near that edge.
CropCorner crop_around_point(int photo_w, int photo_h, int crop_w, int crop_h, int x, int y);
