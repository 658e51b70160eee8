#pragma once
// Faces in a photo, found by OpenCV's cascade classifier with the frontal-face model (local binary
// patterns) Debian's opencv-data installs. Without the model there are no faces, and no error: the crops fall back to
// libvips' attention. OpenCV stays behind this header.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/make/photos/subject_crop.h"

// The faces in a width × height picture of grey bytes, rows packed, in its pixels. Made for a
// photo already shrunk to some 560 × 560 pixels: the model's smallest face is 45 pixels, some
// twelfth of that. Any thread; the model is read once for each thread that looks at
// the same time.
std::vector<PixelBox> find_faces(const uint8_t* grey, int width, int height);

// The model read from `path` from now on, "" for the installed one. For tests: a missing file is
// the machine without opencv-data.
void use_face_model(const std::string& path);
