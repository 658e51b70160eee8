// Placeholder until the glyph font lands.
#include "photos/loading_screen.h"
#include <GL/gl.h>
#include "app/swap_buffers.h"
void show_loading_frame(const char*) {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  swap_buffers();
}
