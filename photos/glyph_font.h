#pragma once
// 3-D outline glyphs of the loading screen, one display list per character code.
#include <array>
#include <cstdint>

#include "photos/glyph_metrics.h"

struct GlyphFont {
  uint32_t list_base = 0;  // list_base + c draws character code c
  std::array<GlyphMetrics, 256> metrics{};
};

inline constexpr float GLYPH_EXTRUSION = 0.1f;  // depth of every glyph, em units

void build_glyph_font();  // needs the GL context current
struct LoadingFontFile;
void build_glyph_font_from(const LoadingFontFile& file);  // the same from a chosen font file (empty path: no font)
const GlyphFont& glyph_font();
void draw_glyph_text(const char* text);  // centred on the origin by advance; nullptr draws nothing
