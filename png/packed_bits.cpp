#include "png/packed_bits.h"

// The counterpart of read_bits_msb; it only sets bits, so buf must start zeroed.
void write_bits_msb(uint8_t* buf, uint64_t& pos, uint32_t v, uint32_t n) {
  for (uint32_t i = n; i-- > 0; ++pos)
    if ((v >> i) & 1) buf[pos >> 3] |= uint8_t(0x80 >> (pos & 7));
}

// ORs the first nbits of src, most significant bit first, into dst from bit dst_bit on.
// Rows below 8 bits per pixel go through here; in most images they start on a byte.
void copy_bits(uint8_t* dst, uint64_t dst_bit, const uint8_t* src, uint64_t nbits) {
  uint8_t* d = dst + (dst_bit >> 3);
  const uint32_t shift = dst_bit & 7;
  for (uint64_t i = 0; i * 8 < nbits; ++i) {
    uint8_t b = src[i];
    const uint64_t left = nbits - i * 8;
    if (left < 8) b &= uint8_t(0xFF << (8 - left));  // the line's spare bits are dropped
    d[i] |= uint8_t(b >> shift);
    // Only touch the next byte when bits land there; it may lie past the raw image otherwise.
    if (shift != 0 && uint8_t(b << (8 - shift)) != 0) d[i + 1] |= uint8_t(b << (8 - shift));
  }
}
