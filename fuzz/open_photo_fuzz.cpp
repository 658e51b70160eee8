// libFuzzer target for the decode of photos from 44 up: any bytes as such a photo, decoded for a
// long side the first byte chooses, as the stream's workers decode them. Never a crash, and what
// comes out is the size the header promised (the stream sizes the layer and reserves memory by
// it) with every mipmap level whole. A decode larger than the stream would ever start (its room
// beyond any budget) is skipped, as the stream skips it.
//
// Input: one byte (the long side is 16 + 8 × it), then the file's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "photos/mip_chain.h"
#include "photos/open_photo_decode.h"

namespace {

constexpr uint64_t LARGEST_ROOM = uint64_t(64) << 20;

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t side = 16 + 8 * uint32_t(data[0]);
  const std::span<const uint8_t> bytes(data + 1, size - 1);
  const OpenPhotoHeader header = read_open_photo_header(bytes);
  if (header.usable() && open_photo_decode_peak_bytes(header, side, bytes.size()) > LARGEST_ROOM) return 0;
  const OpenPhotoImage image = decode_open_photo_bytes(bytes, side);
  if (image.empty()) return 0;
  check(header.usable());
  check(image.size == open_photo_decoded_size(header, side));
  check(image.size.width <= side || image.size.height <= side);
  for (size_t level = 0; level < image.levels.size(); ++level) {
    const PixelSize s = mip_level_size(image.size, uint32_t(level));
    check(image.levels[level].size() == size_t(s.width) * s.height * 4);
  }
  check(mip_level_size(image.size, uint32_t(image.levels.size() - 1)) == (PixelSize{1, 1}));
  return 0;
}
