#pragma once
// What a PNG file's header and chunks say about its image, as the decoder and the conversion to RGBA
// read it.
#include <cstdint>
#include <vector>

struct PngInfo {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t colour_type = 0;
  uint32_t bit_depth = 0;
  uint32_t compression_method = 0;
  uint32_t filter_method = 0;
  uint32_t interlace_method = 0;
  uint32_t key_r = 0;  // tRNS colour key as stored (16 bits), grey in all three for greyscale
  uint32_t key_g = 0;
  uint32_t key_b = 0;
  bool key_defined = false;
  std::vector<uint8_t> palette;  // R, G, B, A per entry
};
