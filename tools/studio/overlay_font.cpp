#include "tools/studio/overlay_font.h"

#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <SDL2/SDL_ttf.h>

#include <algorithm>
#include <vector>

#include "photos/font_source.h"

namespace {

uint32_t power_of_two_at_least(uint32_t n) {
  uint32_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

bool printable(uint32_t c) { return (c >= 32 && c < 127) || (c >= 160 && c <= 255); }

}  // namespace

std::string overlay_font_file() {
  LoadingFontFile file = find_font_family("DejaVu Sans Mono", true);
  if (file.path.empty()) file = find_font_family("monospace", false);
  return file.path;
}

std::unique_ptr<OverlayFont> OverlayFont::open(int pixel_size, std::string& error) {
  if (!TTF_WasInit() && TTF_Init() != 0) {
    error = std::string("SDL2_ttf: ") + TTF_GetError();
    return nullptr;
  }
  std::unique_ptr<OverlayFont> font(new OverlayFont());
  font->file_ = overlay_font_file();
  font->pixel_size_ = pixel_size;
  if (font->file_.empty()) {
    error = "no monospaced font (install fonts-dejavu-core)";
    return nullptr;
  }
  TTF_Font* face = TTF_OpenFont(font->file_.c_str(), pixel_size);
  if (!face) {
    error = font->file_ + ": " + TTF_GetError();
    return nullptr;
  }
  int advance = 0;
  TTF_GlyphMetrics32(face, 'M', nullptr, nullptr, nullptr, nullptr, &advance);
  font->cell_width_ = std::max(advance, 1);
  font->cell_height_ = std::max(TTF_FontLineSkip(face), TTF_FontHeight(face));

  // One cell per character, a pixel of space around it so that neighbours never bleed in.
  const int pitch_x = font->cell_width_ + 2, pitch_y = font->cell_height_ + 2;
  const uint32_t width = power_of_two_at_least(static_cast<uint32_t>(pitch_x * COLUMNS));
  const uint32_t height = power_of_two_at_least(static_cast<uint32_t>(pitch_y * ROWS));
  SDL_Surface* atlas = SDL_CreateRGBSurfaceWithFormat(0, static_cast<int>(width), static_cast<int>(height), 32,
                                                      SDL_PIXELFORMAT_RGBA32);
  if (!atlas) {
    TTF_CloseFont(face);
    error = std::string("overlay font: ") + SDL_GetError();
    return nullptr;
  }
  SDL_FillRect(atlas, nullptr, SDL_MapRGBA(atlas->format, 255, 255, 255, 0));
  const SDL_Color white{255, 255, 255, 255};
  for (int i = 0; i < COLUMNS * ROWS; ++i) {
    const uint32_t c = static_cast<uint32_t>(FIRST + i);
    const int x = (i % COLUMNS) * pitch_x + 1, y = (i / COLUMNS) * pitch_y + 1;
    GlyphCell& cell = font->cells_[i];
    cell.s0 = static_cast<float>(x) / width;
    cell.t0 = static_cast<float>(y) / height;
    cell.s1 = static_cast<float>(x + font->cell_width_) / width;
    cell.t1 = static_cast<float>(y + font->cell_height_) / height;
    if (!printable(c) || c == ' ' || !TTF_GlyphIsProvided32(face, c)) continue;
    SDL_Surface* glyph = TTF_RenderGlyph32_Blended(face, c, white);
    if (!glyph) continue;
    SDL_SetSurfaceBlendMode(glyph, SDL_BLENDMODE_NONE);  // copy the coverage into the alpha as it is
    SDL_Rect src{0, 0, std::min(glyph->w, font->cell_width_), std::min(glyph->h, font->cell_height_)};
    SDL_Rect dst{x, y, src.w, src.h};
    SDL_BlitSurface(glyph, &src, atlas, &dst);
    SDL_FreeSurface(glyph);
  }
  TTF_CloseFont(face);

  SDL_LockSurface(atlas);
  std::vector<uint8_t> pixels(size_t(width) * height * 4);
  for (uint32_t row = 0; row < height; ++row)
    std::copy_n(static_cast<const uint8_t*>(atlas->pixels) + size_t(row) * atlas->pitch, size_t(width) * 4,
                pixels.data() + size_t(row) * width * 4);
  SDL_UnlockSurface(atlas);
  SDL_FreeSurface(atlas);

  // The show's photos own the texture names they are bound by; a generated name stays clear of them.
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glGenTextures(1, &font->texture_);
  glBindTexture(GL_TEXTURE_2D, font->texture_);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGBA,
               GL_UNSIGNED_BYTE, pixels.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glPopClientAttrib();
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  return font;
}

OverlayFont::~OverlayFont() {
  if (texture_) glDeleteTextures(1, &texture_);
}

const GlyphCell& OverlayFont::cell(uint32_t code_point) const {
  if (!printable(code_point)) code_point = '?';
  return cells_[code_point - FIRST];
}
