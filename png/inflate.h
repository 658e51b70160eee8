#pragma once
// zlib (RFC 1950) stream of deflate (RFC 1951) data, held whole in memory, into a growable byte array.
#include <cstdint>
#include <span>
#include <vector>

// Decompresses `input` into `output`, writing from its first byte whatever its size on entry.
// Returns 0 on success, with output.size() the exact decompressed length; otherwise a result code
// from the table in inflate.cpp (shared with the PNG decoder), and output holds leftovers.
uint32_t zlib_decompress(std::span<const uint8_t> input, std::vector<uint8_t>& output);
