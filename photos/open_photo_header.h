#pragma once
// What an open entry's file says of its picture before it is decoded: the upright size, which
// the layer's shape follows even while the photo is not yet in memory, and whether every pixel is
// opaque (a layer coloured black then looks the same with or without it).
#include <cstdint>
#include <span>
#include <string>

#include "photos/image_format.h"

struct OpenPhotoHeader {
  ImageFormat format = ImageFormat::Unknown;  // by content; only Jpeg and Png are shown
  uint32_t stored_width = 0, stored_height = 0;
  uint8_t orientation = 1;  // EXIF, 1 to 8
  bool opaque = false;      // a JPEG, or a PNG without alpha or a transparent colour
  uint64_t file_bytes = 0;  // the file's size, when read from a file

  bool usable() const {
    return (format == ImageFormat::Jpeg || format == ImageFormat::Png) && stored_width != 0 && stored_height != 0;
  }
  uint32_t width() const;   // upright
  uint32_t height() const;  // upright
};

OpenPhotoHeader read_open_photo_header(std::span<const uint8_t> file_start);
// Reads only as much of the file as its header needs; not usable when it is no regular file.
OpenPhotoHeader read_open_photo_header_of_file(const std::string& path);
