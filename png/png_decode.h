#pragma once
// PNG file bytes to 8-bit RGBA pixels, top row first.
#include <cstdint>
#include <span>
#include <string>
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

// Returns 0 and width × height × 4 bytes of RGBA in `pixels`, or a non-zero result code
// (the inflater's codes pass through unchanged). Never throws on malformed input.
uint32_t png_decode(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels);

// The reference decoder, step by step as the format describes it, with the exact inflater: the
// oracle of png_decode, which gives the same code, info, pixels and failure leftovers.
uint32_t png_decode_exact(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels);

// The whole content of a file; empty when it cannot be opened or is empty.
std::vector<uint8_t> read_file_bytes(const std::string& path);
