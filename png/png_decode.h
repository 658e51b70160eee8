#pragma once
// PNG file bytes to 8-bit RGBA pixels, top row first.
#include <cstdint>
#include <span>
#include <vector>

#include "png/png_info.h"

// Returns 0 and width × height × 4 bytes of RGBA in `pixels`, or a non-zero result code
// (the inflater's codes pass through unchanged). Never throws on malformed input.
uint32_t png_decode(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels);

// The reference decoder, step by step as the format describes it, with the exact inflater: the
// oracle of png_decode, which gives the same code, info, pixels and failure leftovers.
uint32_t png_decode_exact(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels);
