#include "photos/photo_file.h"

#include "photos/image_format.h"
#include "png/regular_file.h"

std::vector<uint8_t> read_photo_file(const std::string& path) {
  std::vector<uint8_t> bytes;
  const RegularFile file(path);
  if (!file.is_open() || file.size() == 0 || file.size() > PHOTO_FILE_LIMIT) return bytes;
  uint8_t head[IMAGE_SIGNATURE_BYTES];
  const size_t got = file.read_at(0, head, sizeof head);
  if (sniff_image_format(std::span<const uint8_t>(head, got)) == ImageFormat::Unknown) return bytes;
  bytes.resize(size_t(file.size()));
  bytes.resize(file.read_at(0, bytes.data(), bytes.size()));
  return bytes;
}
