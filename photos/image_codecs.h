#pragma once
// The platform's image codecs (SDL2_image over libjpeg and libpng, its BMP reader, giflib for GIFs), shared
// by the loaders.
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
// It also puts SDL's memory functions behind ones that hold each allocation to the allowance of
// the decode running on the thread (photos/image_codecs.cpp), and to nothing less elsewhere.
void init_image_codecs();

// The codec of `format` alone over the bytes in memory, except that CMYK and YCCK JPEGs come out
// in the colours a viewer shows, opaque. Null when it cannot read them, for ImageFormat::Unknown,
// and when the header (photos/image_size.h) is not of `format` or claims more than any photo may
// take. Never SDL_image's guessing loader: asked for a JPEG that its own check does not take, that
// goes on to try every other format, an SVG hidden in a JPEG comment among them, at whatever size
// it claims. While the codec runs, no allocation of SDL's may take more than the header's RGBA
// pixels and a little: whatever the codec reads beyond the header, it gets no more memory.
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
