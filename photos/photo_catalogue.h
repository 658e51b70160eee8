#pragma once
// The show's photos. A photo's index is its GL texture name and the number its tracks use: track
// value n shows "hall.photo/" + two digits of n + the extension. The order of the table, the
// file type and extension case of every entry, and which loader takes which entry in which order
// are fixed; entry 43 repeats the file of entry 40.
#include <array>
#include <cstdint>
#include <string>

inline constexpr int PHOTO_COUNT = 44;
inline constexpr const char* PHOTO_FOLDER = "hall.photo/";

struct PhotoEntry {
  const char* path;            // 8-bit, for the picture loader
  const char16_t* wide_path;   // UTF-16, the same characters, for load_file_texture
};

struct PhotoCatalogue {
  std::array<PhotoEntry, PHOTO_COUNT> entries;
  const PhotoEntry& operator[](int index) const { return entries[index]; }
};

extern const PhotoCatalogue PHOTO_CATALOGUE;

// The PNG entries, loaded by load_file_texture in this order without a frame between them.
inline constexpr std::array<uint32_t, 27> FILE_TEXTURE_ORDER = {
    1, 2, 3, 4, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23, 24, 26, 27, 35, 36, 37, 38, 39, 40, 41, 42, 43};

// The JPEG and GIF entries the picture loader takes, each after the loading frame named (none
// before the first: the frame shown before the PNG loads is still up).
struct PictureStep {
  const char* frame;  // nullptr: no frame
  uint32_t index;
};
inline constexpr std::array<PictureStep, 11> PICTURE_STEPS = {{
    {nullptr, 0}, {"x", 31}, {"y", 30}, {"x", 29}, {"y", 33}, {"x", 32},
    {"y", 11}, {"x", 34}, {"y", 25}, {"z", 5}, {"z", 17},
}};

// The frame shown before anything loads.
inline constexpr const char* FIRST_LOADING_FRAME = "y";

// The wide path as UTF-8, the form the platform's file calls take.
std::string utf8_path(const char16_t* wide_path);
