#pragma once
// The fast way from an image's decompressed rows to its RGBA pixels.
#include <cstdint>
#include <vector>

#include "png/image_sizes.h"
#include "png/png_info.h"

// The fast way, for images without interlace: no raw image. 8-bit RGB and RGBA rows are
// reconstructed straight into the RGBA pixels, the prior row read back from there; every other
// format goes a row at a time through a line buffer and is converted while the row is in cache.
// False for a bad filter type or palette index: the reference way then runs again from the
// start, so that a failure leaves exactly its leftovers.
bool rows_to_pixels_fast(const uint8_t* data, const PngInfo& info, uint32_t bpp, const ImageSizes& sizes,
                         std::vector<uint8_t>& pixels);
