#pragma once
// The order photos are shown in: by the time they were taken, then by file name, so a trip is told
// in order; photos without a capture time follow, by name.
#include <cstdint>
#include <string>
#include <vector>

struct PhotoCandidate {
  std::string path;
  std::string taken;  // EXIF capture time as "YYYY:MM:DD HH:MM:SS"; empty when unknown
  int width = 0, height = 0;  // upright, after the EXIF orientation
  int orientation = 1;        // EXIF, 1 to 8: how the stored pixels are turned upright
  bool located = false;       // where it was taken is known (EXIF or XMP GPS): latitude, longitude
  double latitude = 0, longitude = 0;
  // What the photo looks like, from a small copy (see photo_quality.h).
  uint64_t hash = 0, vertical_hash = 0;  // difference hashes: near-identical pictures differ in few bits
  float sharpness = 0;        // the finest detail
  float detail = 0;           // the detail an octave coarser
  float luma = 0;             // mean brightness, 0 to 255
  float dark = 0;             // the share of nearly black pixels
};

// The capture time from an EXIF date field as libraries print it ("2019:05:04 12:00:00 (…)");
// empty unless it starts with a well-formed date and time.
std::string exif_time(const std::string& field);

void order_photos(std::vector<PhotoCandidate>& photos);
// A shuffle drawn from the seed, the same on every machine.
void shuffle_photos(std::vector<PhotoCandidate>& photos, uint64_t seed);
