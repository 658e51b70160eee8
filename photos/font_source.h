#pragma once
// Where the loading screen's glyphs come from: fontconfig finds the font file, FreeType reads
// each character's outline, flattened into contours in em units.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "photos/glyph_metrics.h"
#include "photos/glyph_outline.h"

struct LoadingFontFile {
  std::string path;       // empty when fontconfig offers no font at all
  int index = 0;          // face within the file
  bool webdings = false;  // the show's own symbol font; otherwise "x", "y", "z" are remapped
};

// The best match fontconfig has for a family name; `exact` requires that family itself rather
// than the substitute fontconfig always finds (the path is empty then).
LoadingFontFile find_font_family(const char* family, bool exact);

// A font whose family is "webdings" when one is installed, otherwise DejaVu Sans (or whatever
// fontconfig offers in its place).
LoadingFontFile find_loading_font();

// The loading screen's symbols in DejaVu Sans, standing in for the webdings shapes: two half-filled
// circles that flip from frame to frame while the photos load, then a full circle at the end.
inline constexpr char32_t SYMBOL_FOR_Y = U'\u25D0';  // ◐ circle with left half black
inline constexpr char32_t SYMBOL_FOR_X = U'\u25D1';  // ◑ circle with right half black
inline constexpr char32_t SYMBOL_FOR_Z = U'\u25CF';  // ● black circle

// The code point shown for an 8-bit character code: "x", "y", "z" map to the symbols above unless
// the font is webdings; every other code is the Latin-1 character of the same number.
char32_t loading_code_point(uint8_t code, bool webdings);

struct GlyphShape {
  bool found = false;         // false: no glyph for this code, nothing is drawn
  std::vector<Contour> contours;
  bool fill_on_right = true;  // TrueType contour direction (inside on the right)
  GlyphMetrics metrics{};     // em units
};

struct FT_LibraryRec_;
struct FT_FaceRec_;

class OutlineFont {
 public:
  // Null when FreeType cannot read the file as a scalable font.
  static std::unique_ptr<OutlineFont> open(const LoadingFontFile& file);
  ~OutlineFont();
  OutlineFont(const OutlineFont&) = delete;
  OutlineFont& operator=(const OutlineFont&) = delete;

  GlyphShape glyph(uint8_t code, double flatness = GLYPH_FLATNESS) const;
  std::string family() const;

 private:
  OutlineFont() = default;
  uint32_t glyph_index(uint8_t code) const;
  FT_LibraryRec_* library_ = nullptr;
  FT_FaceRec_* face_ = nullptr;
  bool webdings_ = false;
  bool symbol_charmap_ = false;
};
