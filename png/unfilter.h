#pragma once
// Reconstruction of filtered PNG rows: the five filters of the format, byte by byte as the
// format defines them (the reference), and a fast path for 8-bit RGB and RGBA rows that
// reconstructs straight into RGBA pixels.
#include <cstddef>
#include <cstdint>

// Reconstructs `length` bytes of one row into out. left is the reconstructed byte bw before (0 in
// the first pixel), up the prior row's byte (0 without a prior row), upper left the prior row's
// byte bw before. Returns 0, or PNG_BAD_FILTER_TYPE (nothing written) for a type above 4.
uint32_t unfilter_scanline(uint8_t* out, uint8_t filter_type, const uint8_t* in, const uint8_t* prior,
                           size_t bw, size_t length);

// unfilter_scanline's bytes, faster: Average and Paeth, which wait on the byte to their left, in
// branch-free code specialised for the common pixel widths (1 and 2 bytes: grey, grey + alpha).
// Without a prior row, `prior` is nullptr as there.
uint32_t unfilter_scanline_fast(uint8_t* out, uint8_t filter_type, const uint8_t* in, const uint8_t* prior,
                                size_t bw, size_t length);

// One row of `width` 8-bit pixels of `channels` samples (3: RGB, 4: RGBA), filtered with
// `filter_type`, reconstructed into RGBA pixels at out; the prior row is the previous RGBA row
// (nullptr for none). RGB pixels get alpha 255. Returns false, having written anything, for a
// filter type above 4.
// `cpu` masks the processor extensions (cpu_features.h) it may use: SSE2 for Sub, Average and
// Paeth a pixel at a time in 16-bit lanes, SSSE3 for Paeth's absolute values in one instruction.
bool unfilter_row_to_rgba(uint8_t* out, uint8_t filter_type, const uint8_t* in, const uint8_t* prior,
                          size_t width, int channels, uint32_t cpu);
