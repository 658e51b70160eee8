#pragma once
// The platform's image codecs (SDL2_image over libjpeg, libpng, giflib), shared by the loaders.
#include <SDL.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "photos/image_format.h"
#include "photos/surface_ptr.h"
#include "photos/texture_loaders.h"

// Initialises the codecs once per process. The decoders themselves keep no state of their own,
// but they initialise their codec libraries lazily on first use, and two threads must not race
// through that: every decode calls this first, so whichever thread comes first does it for all.
void init_image_codecs();

// The codec of `format` alone over the bytes in memory, except that CMYK and YCCK JPEGs come out
// in the colours a viewer shows, opaque. Null when it cannot read them, and for ImageFormat::Unknown.
// Never SDL_image's guessing loader: asked for a JPEG that its own check does not take, that goes
// on to try every other format, an SVG hidden in a JPEG comment among them, at whatever size it
// claims. No size check: callers check the header first (photos/image_size.h).
SurfacePtr load_image_bytes(std::span<const uint8_t> bytes, ImageFormat format);

// The surface as 8-bit R, G, B, A bytes, not premultiplied (a colour key becomes alpha 0), or
// null when it cannot be converted.
SurfacePtr to_rgba32(SDL_Surface* surface);

// RGBA rows, top row first and `pitch` bytes apart (padding allowed), as a TextureImage of `kind`,
// bottom row first as GL wants it.
TextureImage bottom_first_image(const uint8_t* top_first, uint32_t width, uint32_t height, size_t pitch,
                                TextureImage::Kind kind);
// An RGBA32 surface's pixels the same way.
TextureImage bottom_first_image(const SDL_Surface& rgba, TextureImage::Kind kind);
