#include "app/start_show.h"

#include <GL/gl.h>

#include "app/swap_buffers.h"
#include "photos/glyph_font.h"
#include "photos/load_photos.h"
#include "show/music_clock.h"
#include "show/open_photos.h"
#include "show/scene.h"

namespace {
// Generated once and never read: photos are bound by their catalogue index directly. Having them
// generated keeps any name generated later clear of the photos' numbers.
GLuint texture_names[64];
}  // namespace

void start_show(CatalogueLoading catalogue) {
  prepare_show(catalogue);
  start_music();
}

void prepare_show(CatalogueLoading catalogue) {
  init_music_and_tracks();
  start_open_photos();  // headers read and the tracks planned while the catalogue loads
  glGenTextures(64, texture_names);
  build_glyph_font();
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  // The image codecs here need no per-thread initialisation before load_photos.
  if (catalogue == CatalogueLoading::AtStart) load_photos(swap_buffers);
  else show_loading_frames(swap_buffers);
  preload_open_photos();
  glEnable(GL_TEXTURE_2D);
}
