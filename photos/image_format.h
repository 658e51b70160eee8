#pragma once
// What kind of image a file holds, told from its first bytes: the name's extension is not trusted.
// The loaders read these four and nothing else: the show's photos are PNG, JPEG and GIF files, and
// BMP the picture loader has always drawn. The platform codecs would read a dozen more formats by
// their content whatever the file's name (TIFF, WebP, SVG, PNM, XCF, ...), each with a header that
// can ask for gigabytes; such a file is refused as Unknown before any codec sees it.
#include <cstddef>
#include <cstdint>
#include <span>

enum class ImageFormat { Unknown, Jpeg, Gif, Bmp, Png };

ImageFormat sniff_image_format(std::span<const uint8_t> bytes);

// The formats the picture loader draws onto its square; everything else goes to the PNG fallback.
bool is_picture_format(ImageFormat format);

// The largest number of first bytes sniff_image_format looks at.
inline constexpr size_t IMAGE_SIGNATURE_BYTES = 8;
