#pragma once
// JPEGs of four colour channels, as print workflows and some cameras write them: CMYK, or YCCK
// (CMYK stored through a colour transform). SDL_image hands their four channels over as if they
// were R, G, B and A, which turns a wheat field blue and partly transparent; here libjpeg-turbo
// decodes them to CMYK and the CMYK becomes the RGB a viewer shows.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "photos/surface_ptr.h"

// Nothing when the bytes are not a four-channel JPEG, which leaves them to the platform codecs.
// Otherwise an opaque RGBA32 surface, or a null one when the file does not decode.
std::optional<SurfacePtr> decode_cmyk_jpeg(std::span<const uint8_t> bytes);

// Rows of CMYK samples as libjpeg hands them out (inverted when the file has Adobe's marker), four
// bytes a pixel, turned into opaque RGBA where they are.
void cmyk_rows_to_rgba(uint8_t* pixels, uint32_t width, uint32_t height, size_t pitch, bool adobe_inverted);
