#pragma once
// Text as a picture, for cards and captions: set by Pango through libvips' text operation (so
// fontconfig finds a font for any script), white with a soft dark shadow, on transparency. Used
// only inside photos/, where libvips lives.
#include <vips/vips8>

#include <string>

// The family asked for first; fontconfig falls back to the system's sans font, and to any font
// that has a character DejaVu lacks.
inline constexpr const char* TEXT_FONT = "DejaVu Sans, sans-serif";

// RGBA: `text` as typed (no markup), its letters `size` pixels high (the font's em), centred
// lines no wider than `width`, at most `lines` of them: longer text is set smaller until it fits.
// Wide enough a margin for the shadow. Empty text gives a 1 × 1 transparent picture.
vips::VImage text_picture(const std::string& text, double size, int width, int lines, bool bold);
