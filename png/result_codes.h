#pragma once
// Result codes of the PNG decoder and its inflater: one code space, 0 for success.
// The inflater's codes are listed with their conditions in inflate.cpp, the decoder's in
// png_decode.cpp; both pass through png_decode unchanged.
#include <cstdint>

// The decoder's own codes, in the order png_decode tests them.
inline constexpr uint32_t PNG_OK = 0;
inline constexpr uint32_t PNG_NO_INPUT = 48;                  // empty byte sequence
inline constexpr uint32_t PNG_TOO_SHORT = 27;                 // fewer than 29 bytes
inline constexpr uint32_t PNG_BAD_SIGNATURE = 28;             // bytes 0-7 are not the signature
inline constexpr uint32_t PNG_NO_IHDR = 29;                   // bytes 12-15 are not "IHDR"
inline constexpr uint32_t PNG_BAD_COMPRESSION_METHOD = 32;    // not 0
inline constexpr uint32_t PNG_BAD_FILTER_METHOD = 33;         // not 0
inline constexpr uint32_t PNG_BAD_INTERLACE_METHOD = 34;      // above 1
inline constexpr uint32_t PNG_BAD_COLOUR_TYPE = 31;           // not 0, 2, 3, 4 or 6
inline constexpr uint32_t PNG_BAD_BIT_DEPTH = 37;             // not allowed for the colour type
inline constexpr uint32_t PNG_ZERO_WIDTH = 101;               // width 0
inline constexpr uint32_t PNG_IMAGE_TOO_LARGE = 102;          // a buffer would exceed PNG_MAX_BUFFER_BYTES
inline constexpr uint32_t PNG_NO_IEND = 30;                   // input ends before "IEND"
inline constexpr uint32_t PNG_CHUNK_TOO_LONG = 63;            // chunk length above 2^31 - 1
inline constexpr uint32_t PNG_CHUNK_PAST_END = 35;            // chunk data run past the input
inline constexpr uint32_t PNG_PALETTE_TOO_LONG = 38;          // "PLTE" with more than 256 entries
inline constexpr uint32_t PNG_TRNS_BEYOND_PALETTE = 39;       // palette "tRNS" longer than the palette
inline constexpr uint32_t PNG_TRNS_GREY_LENGTH = 40;          // greyscale "tRNS" length not 2
inline constexpr uint32_t PNG_TRNS_RGB_LENGTH = 41;           // RGB "tRNS" length not 6
inline constexpr uint32_t PNG_TRNS_WITH_ALPHA = 42;           // "tRNS" in an image with an alpha channel
inline constexpr uint32_t PNG_UNKNOWN_CRITICAL_CHUNK = 69;    // critical chunk of a type not handled
// No longer returned (the inflater's own code, or 100, is); kept with its text for callers that know it.
inline constexpr uint32_t PNG_DATA_TOO_SMALL = 103;           // IDAT data cannot inflate to the rows
inline constexpr uint32_t PNG_BAD_FILTER_TYPE = 36;           // a row's filter type above 4
inline constexpr uint32_t PNG_ROWS_TRUNCATED = 100;           // decompressed data shorter than the rows
inline constexpr uint32_t PNG_INDEX_BEYOND_PALETTE = 46;      // bit depth 8
inline constexpr uint32_t PNG_INDEX_BEYOND_PALETTE_LOW = 47;  // bit depths 1, 2, 4

// The largest buffer one decode may ask for (raw image, decompressed data, pixels): 1 GiB,
// an RGBA picture of 16384 × 16384, far beyond any photo the show holds.
inline constexpr uint64_t PNG_MAX_BUFFER_BYTES = uint64_t{1} << 30;

// A short English sentence for any code of either table; unknown codes get a generic text.
const char* describe_result(uint32_t code);
