#pragma once
// What kind of image a file holds, told from its first bytes: the name's extension is not trusted.
#include <cstdint>
#include <span>

enum class ImageFormat { Unknown, Jpeg, Gif, Bmp, Png };

ImageFormat sniff_image_format(std::span<const uint8_t> bytes);

// The formats the picture loader draws onto its square; everything else goes to the PNG fallback.
bool is_picture_format(ImageFormat format);

// The type hint SDL_image takes for a format ("JPG", "GIF", "BMP", "PNG"), or nullptr.
const char* sdl_image_type(ImageFormat format);
