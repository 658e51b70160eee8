#include "photos/mip_chain.h"

#include <algorithm>

PixelSize mip_level_size(PixelSize size, uint32_t level) {
  return {std::max<uint32_t>(1, size.width >> level), std::max<uint32_t>(1, size.height >> level)};
}

std::vector<std::vector<uint8_t>> build_mip_chain(std::vector<uint8_t> level0, PixelSize size) {
  std::vector<std::vector<uint8_t>> levels;
  levels.push_back(std::move(level0));
  for (PixelSize above = size; above.width > 1 || above.height > 1;) {
    const PixelSize below{std::max<uint32_t>(1, above.width / 2), std::max<uint32_t>(1, above.height / 2)};
    const std::vector<uint8_t>& from = levels.back();
    std::vector<uint8_t> to(size_t(below.width) * below.height * 4);
    for (uint32_t y = 0; y < below.height; ++y) {
      // Rows 2y and 2y + 1 of the level above; with one row only, that row twice.
      const uint8_t* r0 = from.data() + size_t(std::min(2 * y, above.height - 1)) * above.width * 4;
      const uint8_t* r1 = from.data() + size_t(std::min(2 * y + 1, above.height - 1)) * above.width * 4;
      uint8_t* out = to.data() + size_t(y) * below.width * 4;
      for (uint32_t x = 0; x < below.width; ++x) {
        const size_t c0 = size_t(std::min(2 * x, above.width - 1)) * 4;
        const size_t c1 = size_t(std::min(2 * x + 1, above.width - 1)) * 4;
        for (int k = 0; k < 4; ++k)
          out[x * 4 + k] = uint8_t((r0[c0 + k] + r0[c1 + k] + r1[c0 + k] + r1[c1 + k] + 2) / 4);
      }
    }
    levels.push_back(std::move(to));
    above = below;
  }
  return levels;
}
