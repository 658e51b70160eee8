#pragma once
// Samples below 8 bits, packed without spare bits, most significant bit first.
#include <cstdint>

// n bits from bit position `pos` of buf, where bit k is bit 7 - (k mod 8) of byte k div 8;
// the first bit read is the most significant of the result. pos advances by n.
inline uint32_t read_bits_msb(const uint8_t* buf, uint64_t& pos, uint32_t n) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < n; ++i, ++pos) v = v << 1 | ((buf[pos >> 3] >> (7 - (pos & 7))) & 1);
  return v;
}

// The counterpart of read_bits_msb; it only sets bits, so buf must start zeroed.
void write_bits_msb(uint8_t* buf, uint64_t& pos, uint32_t v, uint32_t n);

// ORs the first nbits of src, most significant bit first, into dst from bit dst_bit on.
void copy_bits(uint8_t* dst, uint64_t dst_bit, const uint8_t* src, uint64_t nbits);
