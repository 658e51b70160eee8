#pragma once
// The overlay's text: DejaVu Sans Mono (found by fontconfig) rendered once through SDL2_ttf into
// one texture of character cells, so that drawing text later is a quad a character and allocates
// nothing. The cells hold the printable ASCII and Latin-1 characters; any other shows as '?'.
#include <cstdint>
#include <memory>
#include <string>

struct GlyphCell {
  float s0, t0, s1, t1;  // texture coordinates; t0 is the cell's top
};

class OverlayFont {
 public:
  // With the GL context current. Null, with `error` set, when no font can be opened or rendered.
  static std::unique_ptr<OverlayFont> open(int pixel_size, std::string& error);
  ~OverlayFont();  // deletes the texture (the context must be current)
  OverlayFont(const OverlayFont&) = delete;
  OverlayFont& operator=(const OverlayFont&) = delete;

  uint32_t texture() const { return texture_; }
  int cell_width() const { return cell_width_; }    // the advance of every character
  int cell_height() const { return cell_height_; }  // the line height
  int pixel_size() const { return pixel_size_; }
  const std::string& file() const { return file_; }
  const GlyphCell& cell(uint32_t code_point) const;

 private:
  OverlayFont() = default;
  static constexpr int FIRST = 32, COLUMNS = 16, ROWS = 14;  // code points 32 .. 255
  uint32_t texture_ = 0;
  int cell_width_ = 0, cell_height_ = 0, pixel_size_ = 0;
  std::string file_;
  GlyphCell cells_[COLUMNS * ROWS]{};
};

// The font file for the overlay: DejaVu Sans Mono, or what fontconfig offers for "monospace".
std::string overlay_font_file();
