#pragma once
// PNG file bytes to 8-bit RGBA pixels, top row first.
#include <cstdint>
#include <span>
#include <vector>

#include "png/cpu_features.h"
#include "png/png_info.h"

// Returns 0 and width × height × 4 bytes of RGBA in `pixels`, or a non-zero result code
// (the inflater's codes pass through unchanged). Never throws on malformed input.
uint32_t png_decode(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels);

// png_decode using only the processor extensions in `cpu` (cpu_features.h) where present, so that
// tests reach the portable paths on any machine. Same results for every mask.
uint32_t png_decode_with(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels, uint32_t cpu);

// The reference decoder, step by step as the format describes it, with the exact inflater: the
// oracle of png_decode, which gives the same code, info, pixels and failure leftovers.
uint32_t png_decode_exact(std::span<const uint8_t> bytes, PngInfo& info, std::vector<uint8_t>& pixels);
