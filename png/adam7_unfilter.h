#pragma once
// Unfiltering of an interlaced image, pass by pass, into its raw image.
#include <cstdint>

#include "png/image_sizes.h"
#include "png/png_info.h"

// The seven passes' rows from `data` on, unfiltered and spread to their places in `raw` (zeroed,
// sizes.raw bytes). Returns 0, or PNG_BAD_FILTER_TYPE with the raw image partly filled.
uint32_t unfilter_passes(const uint8_t* data, const PngInfo& info, uint32_t bpp, const ImageSizes& sizes,
                         uint8_t* raw);
