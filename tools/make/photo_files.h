#pragma once
// Photos through libvips: reading a photo's header, proving it decodes, cropping it square around
// its subject and writing the catalogue's files. Everything libvips does for hallshow-make is here.
#include <string>

#include "tools/make/catalogue_plan.h"
#include "tools/make/photo_order.h"

// Photos larger than this are refused before any pixel is decoded: a forged header can claim
// gigapixels.
inline constexpr double MAX_PHOTO_MEGAPIXELS = 250.0;

// Once, before anything else here. False when libvips cannot start.
bool start_photo_library(const char* argv0);

// The header: size (upright), capture time. False, with `why`, when the file is no photo this can
// read, or too large. With `decode`, the whole file is decoded (at a small size) too, so that a
// truncated or damaged photo is found before it is planned into the show.
bool probe_photo(const std::string& path, bool decode, PhotoCandidate& out, std::string& why);

// A photo cropped square around its subject, held in memory while its entries are written.
struct SquarePhoto {
  struct Impl;
  Impl* impl = nullptr;
  int side = 0;                              // pixels
  double crop_left = 0, crop_top = 0, crop_side = 0;  // the crop in the upright photo's pixels
  SquarePhoto() = default;
  SquarePhoto(const SquarePhoto&) = delete;
  SquarePhoto& operator=(const SquarePhoto&) = delete;
  ~SquarePhoto();
};

// Loads (shrinking on load where the format allows), turns upright, converts to sRGB, crops square
// by "attention" and sizes to `side` pixels, or the photo's own short side when that is smaller.
bool make_square(const std::string& path, int side, SquarePhoto& out, std::string& why);

// Writes one catalogue file from the square: its type, and for the cut-out roles its alpha;
// the backdrop blurred and dimmed; `side` pixels (not above the square's own).
bool write_entry(const SquarePhoto& square, EntryType type, EntryRole role, int side, const std::string& path,
                 std::string& why);
