#pragma once
// The header of a PNG file and the walk over its chunks.
#include <cstdint>
#include <span>
#include <vector>

#include "png/png_info.h"

// Header, at fixed offsets: `b` holds at least 29 bytes. Returns 0 or the code of the first
// field that fails, having stored the fields up to it.
uint32_t read_header(std::span<const uint8_t> b, PngInfo& info);

// The chunk walk from byte 33 up to and including IEND: the IDAT data joined into `idat`, the
// palette and transparency into `info`. Returns 0 or the code of the first chunk that fails.
uint32_t read_chunks(std::span<const uint8_t> b, PngInfo& info, std::vector<uint8_t>& idat);

// Whether the chunk walk from the signature on reaches the header of an IDAT chunk (its data may
// be cut short): a file that ends before it holds no image data for any decoder to show.
bool reaches_image_data(std::span<const uint8_t> b);
