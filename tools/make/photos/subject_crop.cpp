#include "tools/make/photos/subject_crop.h"

#include <algorithm>
#include <cmath>

namespace {

// A face box from the detector runs from the brows to below the mouth: the head around it is this
// much larger, in parts of the box, on each side.
constexpr double HEAD_SIDES = 0.3, HEAD_ABOVE = 0.6, HEAD_BELOW = 0.35;

struct Span {
  double left, top, right, bottom;
  double width() const { return right - left; }
  double height() const { return bottom - top; }
};

Span span_of(const PixelBox& b) { return {double(b.left), double(b.top), double(b.left + b.width), double(b.top + b.height)}; }

// The head around a face, within the photo.
Span head_of(const PixelBox& face, int photo_w, int photo_h) {
  const Span s = span_of(face);
  return {std::max(0.0, s.left - HEAD_SIDES * face.width), std::max(0.0, s.top - HEAD_ABOVE * face.height),
          std::min(double(photo_w), s.right + HEAD_SIDES * face.width),
          std::min(double(photo_h), s.bottom + HEAD_BELOW * face.height)};
}

Span joined(const Span& a, const Span& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

bool fits(const Span& s, int crop_w, int crop_h) { return s.width() <= crop_w && s.height() <= crop_h; }

CropCorner centred(int photo_w, int photo_h, int crop_w, int crop_h, double cx, double cy) {
  return {std::clamp(static_cast<int>(std::lround(cx - crop_w / 2.0)), 0, std::max(0, photo_w - crop_w)),
          std::clamp(static_cast<int>(std::lround(cy - crop_h / 2.0)), 0, std::max(0, photo_h - crop_h))};
}

}  // namespace

CropCorner crop_around_faces(int photo_w, int photo_h, int crop_w, int crop_h, const std::vector<PixelBox>& faces) {
  std::vector<PixelBox> largest = faces;
  std::stable_sort(largest.begin(), largest.end(), [](const PixelBox& a, const PixelBox& b) {
    return static_cast<long>(a.width) * a.height > static_cast<long>(b.width) * b.height;
  });
  Span subject = head_of(largest[0], photo_w, photo_h);
  if (!fits(subject, crop_w, crop_h)) {
    subject = span_of(largest[0]);  // the face without the head around it, or its middle
  } else {
    for (size_t i = 1; i < largest.size(); ++i) {
      const Span with = joined(subject, head_of(largest[i], photo_w, photo_h));
      if (fits(with, crop_w, crop_h)) subject = with;
    }
  }
  // Lower the crop by part of the room left under the faces, never so far that they leave it.
  const double room = std::max(0.0, crop_h - subject.height());
  const double lower = std::min(room / 2, crop_h / 8.0);
  return centred(photo_w, photo_h, crop_w, crop_h, (subject.left + subject.right) / 2,
                 (subject.top + subject.bottom) / 2 + lower);
}

CropCorner crop_around_point(int photo_w, int photo_h, int crop_w, int crop_h, int x, int y) {
  const int cx = (2 * x + photo_w / 2) / 3, cy = (2 * y + photo_h / 2) / 3;
  return {std::clamp(cx - crop_w / 2, 0, std::max(0, photo_w - crop_w)), std::clamp(cy - crop_h / 2, 0, std::max(0, photo_h - crop_h))};
}
