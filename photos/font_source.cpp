// fontconfig for the font file, FreeType for the outlines.
#include "photos/font_source.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H

#include <strings.h>

namespace {

struct Decomposer {
  ContourBuilder builder;
  double scale;  // font units to em
  Point2 em(const FT_Vector* v) const { return {v->x * scale, v->y * scale}; }
};

int move_to(const FT_Vector* to, void* user) {
  auto* d = static_cast<Decomposer*>(user);
  d->builder.move_to(d->em(to));
  return 0;
}
int line_to(const FT_Vector* to, void* user) {
  auto* d = static_cast<Decomposer*>(user);
  d->builder.line_to(d->em(to));
  return 0;
}
int conic_to(const FT_Vector* control, const FT_Vector* to, void* user) {
  auto* d = static_cast<Decomposer*>(user);
  d->builder.conic_to(d->em(control), d->em(to));
  return 0;
}
int cubic_to(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
  auto* d = static_cast<Decomposer*>(user);
  d->builder.cubic_to(d->em(c1), d->em(c2), d->em(to));
  return 0;
}

}  // namespace

LoadingFontFile find_font_family(const char* family, bool exact) {
  LoadingFontFile found;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return found;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return found;

  FcChar8* name = nullptr;
  FcChar8* file = nullptr;
  int index = 0;
  bool family_ok = !exact || (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch &&
                              strcasecmp(reinterpret_cast<const char*>(name), family) == 0);
  if (family_ok && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    found.path = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) found.index = index;
  }
  FcPatternDestroy(match);
  return found;
}

LoadingFontFile find_loading_font() {
  if (!FcInit()) return {};
  LoadingFontFile file = find_font_family("webdings", true);
  if (!file.path.empty()) {
    file.webdings = true;
    return file;
  }
  return find_font_family("DejaVu Sans", false);
}

char32_t loading_code_point(uint8_t code, bool webdings) {
  if (!webdings) {
    if (code == 'x') return SYMBOL_FOR_X;
    if (code == 'y') return SYMBOL_FOR_Y;
    if (code == 'z') return SYMBOL_FOR_Z;
  }
  return code;
}

std::unique_ptr<OutlineFont> OutlineFont::open(const LoadingFontFile& file) {
  if (file.path.empty()) return nullptr;
  std::unique_ptr<OutlineFont> font(new OutlineFont());
  if (FT_Init_FreeType(&font->library_) != 0) {
    font->library_ = nullptr;
    return nullptr;
  }
  if (FT_New_Face(font->library_, file.path.c_str(), file.index, &font->face_) != 0) {
    font->face_ = nullptr;
    return nullptr;
  }
  if (!FT_IS_SCALABLE(font->face_) || font->face_->units_per_EM == 0) return nullptr;
  font->webdings_ = file.webdings;
  // Symbol fonts such as webdings keep their shapes at 0xF000 + code under the symbol charmap.
  for (int i = 0; i < font->face_->num_charmaps; ++i) {
    if (font->face_->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL) {
      font->symbol_charmap_ = FT_Set_Charmap(font->face_, font->face_->charmaps[i]) == 0;
      break;
    }
  }
  return font;
}

OutlineFont::~OutlineFont() {
  if (face_) FT_Done_Face(face_);
  if (library_) FT_Done_FreeType(library_);
}

std::string OutlineFont::family() const { return face_->family_name ? face_->family_name : ""; }

uint32_t OutlineFont::glyph_index(uint8_t code) const {
  if (symbol_charmap_) {
    if (FT_UInt index = FT_Get_Char_Index(face_, 0xF000u + code)) return index;
    return FT_Get_Char_Index(face_, code);
  }
  char32_t wanted = loading_code_point(code, webdings_);
  if (FT_UInt index = FT_Get_Char_Index(face_, wanted)) return index;
  // A substitute font without the symbols still shows the letter itself.
  return wanted == code ? 0 : FT_Get_Char_Index(face_, code);
}

GlyphShape OutlineFont::glyph(uint8_t code, double flatness) const {
  GlyphShape shape;
  uint32_t index = glyph_index(code);
  if (index == 0) return shape;
  if (FT_Load_Glyph(face_, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
    return shape;
  FT_GlyphSlot slot = face_->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return shape;

  double scale = 1.0 / face_->units_per_EM;
  Decomposer d{ContourBuilder(flatness), scale};
  FT_Outline_Funcs funcs{move_to, line_to, conic_to, cubic_to, 0, 0};
  if (FT_Outline_Decompose(&slot->outline, &funcs, &d) != 0) return shape;
  shape.contours = d.builder.finish();
  shape.fill_on_right = FT_Outline_Get_Orientation(&slot->outline) != FT_ORIENTATION_POSTSCRIPT;

  GlyphMetrics& m = shape.metrics;
  FT_BBox box{};
  if (slot->outline.n_points > 0 && FT_Outline_Get_BBox(&slot->outline, &box) == 0) {
    m.black_box_x = static_cast<float>((box.xMax - box.xMin) * scale);
    m.black_box_y = static_cast<float>((box.yMax - box.yMin) * scale);
    m.origin_x = static_cast<float>(box.xMin * scale);  // the black box's upper left corner
    m.origin_y = static_cast<float>(box.yMax * scale);
  }
  m.advance_x = static_cast<float>(slot->metrics.horiAdvance * scale);
  m.advance_y = 0.0f;
  shape.found = true;
  return shape;
}
