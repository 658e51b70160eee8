#pragma once
// zlib (RFC 1950) stream of deflate (RFC 1951) data, held whole in memory, into a growable byte array.
#include <cstdint>
#include <span>
#include <vector>

#include "png/inflate.h"

// Decompresses `input` into `output`, writing from its first byte whatever its size on entry.
// Returns 0 on success, with output.size() the exact decompressed length; otherwise a result code
// from the table in inflate.cpp (shared with the PNG decoder), and output holds leftovers.
uint32_t zlib_decompress(std::span<const uint8_t> input, std::vector<uint8_t>& output);

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
