#pragma once
// zlib (RFC 1950) stream of deflate (RFC 1951) data, held whole in memory, into a growable byte array.
#include <cstdint>
#include <span>
#include <vector>

// Decompresses `input` into `output`, writing from its first byte whatever its size on entry.
// Returns 0 on success, with output.size() the exact decompressed length; otherwise a result code
// from the table in inflate.cpp (shared with the PNG decoder), and output holds leftovers.
uint32_t zlib_decompress(std::span<const uint8_t> input, std::vector<uint8_t>& output);

// The largest output zlib_decompress produces: write positions are 32-bit.
inline constexpr uint64_t INFLATE_MAX_OUTPUT = 0xFFFFFFFFu;

// zlib_decompress with a smaller ceiling on the output size (at most INFLATE_MAX_OUTPUT): a
// stream that would write past `max_output` bytes fails with INFLATE_OUTPUT_LIMIT, before the
// array has grown beyond it. For callers that know how much output makes sense.
uint32_t zlib_decompress_limited(std::span<const uint8_t> input, std::vector<uint8_t>& output,
                                 uint64_t max_output);

// How zlib_decompress_with decodes.
struct InflateOptions {
    // The ceiling on the output size, as zlib_decompress_limited takes it.
    uint64_t max_output = INFLATE_MAX_OUTPUT;
    // Only the first `keep` output bytes are stored; the rest of the stream is still decoded,
    // through a 32 KiB window, so that the result code is the one of a full decode. On success
    // output.size() is then min(decompressed length, keep).
    uint64_t keep = UINT64_MAX;
    // The bit-by-bit reference decoder alone. Otherwise the table-driven decoder runs first and
    // hands over to the reference decoder whenever it cannot tell the outcome itself.
    bool exact = false;
};

// zlib_decompress with every option. Both decoders give the same result code for every input
// and, on success, the same bytes; after a failure the output holds the reference decoder's
// leftovers (its size included).
uint32_t zlib_decompress_with(std::span<const uint8_t> input, std::vector<uint8_t>& output,
                              const InflateOptions& options);

// Result codes of the inflater; conditions in the table at the top of inflate.cpp.
inline constexpr uint32_t INFLATE_OK = 0;
inline constexpr uint32_t INFLATE_CODE_PAST_END = 10;
inline constexpr uint32_t INFLATE_CODE_UNASSIGNED = 11;
inline constexpr uint32_t INFLATE_REPEAT_OVERFLOW = 13;
inline constexpr uint32_t INFLATE_ZEROS_OVERFLOW = 14;
inline constexpr uint32_t INFLATE_LONG_ZEROS_OVERFLOW = 15;
inline constexpr uint32_t INFLATE_BAD_DISTANCE_SYMBOL = 18;
inline constexpr uint32_t INFLATE_BAD_BLOCK_TYPE = 20;
inline constexpr uint32_t INFLATE_STORED_LENGTH_MISMATCH = 21;
inline constexpr uint32_t INFLATE_STORED_PAST_END = 23;
inline constexpr uint32_t INFLATE_HEADER_CHECK = 24;
inline constexpr uint32_t INFLATE_HEADER_METHOD = 25;
inline constexpr uint32_t INFLATE_HEADER_DICTIONARY = 26;
inline constexpr uint32_t INFLATE_DYNAMIC_HEADER_PAST_END = 49;
inline constexpr uint32_t INFLATE_RUN_BITS_PAST_END = 50;
inline constexpr uint32_t INFLATE_MATCH_BITS_PAST_END = 51;
inline constexpr uint32_t INFLATE_BLOCK_PAST_END = 52;
inline constexpr uint32_t INFLATE_INPUT_TOO_SHORT = 53;
inline constexpr uint32_t INFLATE_OVERSUBSCRIBED = 55;
inline constexpr uint32_t INFLATE_NO_END_OF_BLOCK = 64;
inline constexpr uint32_t INFLATE_INPUT_EXHAUSTED = 90;
inline constexpr uint32_t INFLATE_DISTANCE_TOO_FAR = 91;
inline constexpr uint32_t INFLATE_REPEAT_WITHOUT_LENGTH = 92;
inline constexpr uint32_t INFLATE_OUTPUT_LIMIT = 93;

// A short English description of an inflater result code, or nullptr for a code it never returns.
const char* inflate_describe(uint32_t code);
