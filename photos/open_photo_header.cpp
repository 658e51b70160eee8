#include "photos/open_photo_header.h"

#include <sys/stat.h>

#include <cstring>

#include "photos/file_start.h"
#include "photos/image_size.h"
#include "photos/photo_orientation.h"

namespace {

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// Format notes: colour types 4 and 6 carry alpha; a tRNS chunk, which comes before IDAT, makes a
// colour or palette entry transparent.
bool png_opaque(std::span<const uint8_t> b) {
  if (b.size() < 26 || b[25] == 4 || b[25] == 6) return false;
  for (size_t at = 8; at + 8 <= b.size();) {
    const size_t length = be32(&b[at]);
    const uint8_t* type = &b[at + 4];
    if (std::memcmp(type, "tRNS", 4) == 0) return false;
    if (std::memcmp(type, "IDAT", 4) == 0) return true;
    if (length > b.size()) break;
    at += 12 + length;
  }
  return false;  // not known to be opaque
}

}  // namespace

uint32_t OpenPhotoHeader::width() const { return orientation_swaps_sides(orientation) ? stored_height : stored_width; }
uint32_t OpenPhotoHeader::height() const { return orientation_swaps_sides(orientation) ? stored_width : stored_height; }

OpenPhotoHeader read_open_photo_header(std::span<const uint8_t> b) {
  OpenPhotoHeader header;
  const ImageSize size = image_size(b);
  header.format = size.format;
  if (size.format != ImageFormat::Jpeg && size.format != ImageFormat::Png) return header;
  header.stored_width = size.width;
  header.stored_height = size.height;
  header.orientation = photo_orientation(b);
  header.opaque = size.format == ImageFormat::Jpeg || png_opaque(b);
  return header;
}

OpenPhotoHeader read_open_photo_header_of_file(const std::string& path) {
  // A phone's JPEG carries its Exif block (with a thumbnail) and colour profile before the frame
  // header, 20 to 100 KiB; a second, longer read covers the rare file with more in front.
  constexpr size_t FIRST_READ = size_t(128) << 10, SECOND_READ = size_t(4) << 20;
  std::vector<uint8_t> start = read_file_start(path, FIRST_READ);
  OpenPhotoHeader header = read_open_photo_header(start);
  if (start.size() == FIRST_READ && !header.usable() &&
      (header.format == ImageFormat::Jpeg || header.format == ImageFormat::Png)) {
    start = read_file_start(path, SECOND_READ);
    header = read_open_photo_header(start);
  }
  struct stat st;
  if (header.usable() && stat(path.c_str(), &st) == 0) header.file_bytes = uint64_t(st.st_size);
  return header;
}
