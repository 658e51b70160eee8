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
};

// The capture time from an EXIF date field as libraries print it ("2019:05:04 12:00:00 (…)");
// empty unless it starts with a well-formed date and time.
std::string exif_time(const std::string& field);

void order_photos(std::vector<PhotoCandidate>& photos);
// A shuffle drawn from the seed, the same on every machine.
void shuffle_photos(std::vector<PhotoCandidate>& photos, uint64_t seed);
