#pragma once
// The exact deflate (RFC 1951) decoder, one bit per step, and the result codes it shares with the
// table-driven one. Callers decompress through zlib_stream.h, which checks the zlib header and picks
// the decoder.
#include <cstdint>
#include <span>
#include <vector>

// The largest output zlib_decompress produces: write positions are 32-bit.
inline constexpr uint64_t INFLATE_MAX_OUTPUT = 0xFFFFFFFFu;

// Decodes the deflate data of `input` (a zlib stream whose two header bytes have been checked)
// into `output`, writing from its first byte, failing with INFLATE_OUTPUT_LIMIT past `max_output`
// bytes (at most INFLATE_MAX_OUTPUT) and storing only the first `keep`. Returns 0 on success, with
// output.size() min(decompressed length, keep); otherwise a code from the table in inflate.cpp,
// and output holds leftovers.
uint32_t inflate_exact(std::span<const uint8_t> input, std::vector<uint8_t>& output, uint64_t max_output,
                       uint64_t keep);

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
