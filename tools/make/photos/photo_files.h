#pragma once
// Photos through libvips: reading a photo's header, proving it decodes, cropping it square around
// its subject (its faces found by tools/make/photos/face_finder.h) and writing the catalogue's files.
// Everything libvips does for hallshow-make is here.
#include <string>

#include "tools/make/photos/caption_place.h"
#include "tools/make/photos/cutout_mask.h"
#include "tools/make/photos/entry_type.h"
#include "tools/make/photos/photo_order.h"

// Photos larger than this are refused before any pixel is decoded: a forged header can claim
// gigapixels.
inline constexpr double MAX_PHOTO_MEGAPIXELS = 250.0;

// Once, before anything else here. False when libvips cannot start.
bool start_photo_library(const char* argv0);

// The header: size (upright), capture time. False, with `why`, when the file is no photo this can
// read, or too large. With `decode`, the whole file is decoded (at a small size) too, so that a
// truncated or damaged photo is found before it is planned into the show.
bool probe_photo(const std::string& path, bool decode, PhotoCandidate& out, std::string& why);

// A photo cropped around its subject, held in memory while its files are written.
struct CroppedPhoto {
  struct Impl;
  Impl* impl = nullptr;
  int width = 0, height = 0, side = 0;  // pixels; side: the shorter
  // The crop in the upright photo's pixels.
  double crop_left = 0, crop_top = 0, crop_width = 0, crop_height = 0;
  CroppedPhoto() = default;
  CroppedPhoto(const CroppedPhoto&) = delete;
  CroppedPhoto& operator=(const CroppedPhoto&) = delete;
  ~CroppedPhoto();
};

// Loads (shrinking on load where the format allows), turns upright, converts to sRGB, scales to
// cover width × height and crops that around the subject: its faces whole where it has them, else
// libvips' "attention". Without `enlarge` a smaller photo is not scaled up: the crop keeps the
// shape, as large as the photo allows.
bool make_cover(const std::string& path, int width, int height, bool enlarge, CroppedPhoto& out, std::string& why);
// A square of `side` pixels, or of the photo's own short side when that is smaller.
bool make_square(const std::string& path, int side, CroppedPhoto& out, std::string& why);

// A photo written as an open entry of the show.
struct WrittenPhoto {
  std::string file;       // the name written, "44.jpg"
  int width = 0, height = 0;  // upright pixels, as the show will draw it
  bool copied = false;    // a JPEG's own bytes, its metadata but the orientation left behind
  // The square cut from the upright photo (with `square`), in its pixels.
  double crop_left = 0, crop_top = 0, crop_side = 0;
  PixelBox caption;  // where its caption was set, in the written pixels; width 0: none
};

// A small line set on a photo as it is written (its date, its place): white with a soft shadow,
// in a corner of the part of it always on screen, never over a face.
struct PhotoCaption {
  std::string text;
  double size = 0.02;  // the letters' em, as a share of the written photo's long side
  SeenPart seen;
};

// Writes `photo` as `folder`/NUMBER.jpg (NUMBER.png when it was a PNG, so that a lossless picture
// stays lossless), upright, in sRGB, its long side at most `long_side`: a JPEG that is already
// small enough, in sRGB and of a kind the show decodes is copied without its metadata, anything
// else is decoded, turned, converted and encoded. With `square`, the square around its subject.
// With a `caption` (not empty), the photo is always encoded, the caption set on it.
bool write_open_photo(const PhotoCandidate& photo, int number, int long_side, bool square, const std::string& folder,
                      WrittenPhoto& out, std::string& why, const PhotoCaption* caption = nullptr);

// Writes one catalogue file from the square: its type, its cut-out's alpha; as the `backdrop`,
// blurred and dimmed; `side` pixels (not above the square's own).
bool write_entry(const CroppedPhoto& square, EntryType type, Cutout cutout, bool backdrop, int side,
                 const std::string& path, std::string& why);

// Writes the photo as it is cropped, in `type`, with the cut-out's alpha; `palette`: a PNG of at
// most 256 colours.
bool write_photo_file(const CroppedPhoto& photo, EntryType type, Cutout cutout, bool palette, const std::string& path,
                      std::string& why);
