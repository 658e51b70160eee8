#pragma once
// What the deflate format (RFC 1951) fixes, shared by the exact and the fast inflater.
#include <algorithm>
#include <array>
#include <cstdint>

namespace deflate {

constexpr uint32_t MAX_CODE_BITS = 15;        // longest literal/length or distance code
constexpr uint32_t MAX_CODE_LENGTH_BITS = 7;  // longest code of the code-length code
constexpr uint32_t LITLEN_SYMBOLS = 288;      // 286 and 287 take part in the code only
constexpr uint32_t DIST_SYMBOLS = 32;         // 30 and 31 take part in the code only
constexpr uint32_t CODE_LENGTH_SYMBOLS = 19;
constexpr uint32_t END_OF_BLOCK = 256;
constexpr uint64_t WINDOW_SIZE = 32768;  // the farthest a match reaches back

// The most output one bit of input can stand for: a match makes at most 258 bytes and costs
// at least two bits (a length code and a distance code of one bit or more); a literal costs
// at least one bit for one byte and a stored byte eight bits.
constexpr uint64_t MAX_BYTES_PER_BIT = 258 / 2;

// Base values and extra-bit counts of length codes 257..285 and distance codes 0..29.
constexpr std::array<uint16_t, 29> LENGTH_BASE = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> LENGTH_EXTRA = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint16_t, 30> DIST_BASE = {
    1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, 30> DIST_EXTRA = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The order in which a dynamic block stores the lengths of the code-length code.
constexpr std::array<uint8_t, CODE_LENGTH_SYMBOLS> CODE_LENGTH_ORDER = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// The code lengths of block type 1: literal/length 8, 9, 7, 8 over 0-143, 144-255, 256-279,
// 280-287; 5 bits for all 32 distance symbols.
inline std::array<uint8_t, LITLEN_SYMBOLS> fixed_litlen_lengths() {
    std::array<uint8_t, LITLEN_SYMBOLS> lit{};
    std::fill(lit.begin(), lit.begin() + 144, 8);
    std::fill(lit.begin() + 144, lit.begin() + 256, 9);
    std::fill(lit.begin() + 256, lit.begin() + 280, 7);
    std::fill(lit.begin() + 280, lit.end(), 8);
    return lit;
}
inline std::array<uint8_t, DIST_SYMBOLS> fixed_dist_lengths() {
    std::array<uint8_t, DIST_SYMBOLS> dist{};
    dist.fill(5);
    return dist;
}

}  // namespace deflate
