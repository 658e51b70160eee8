// One loading frame: a white glyph string on black, half the picture high per em.
#include "photos/loading_screen.h"

#include <GL/gl.h>

#include "photos/glyph_font.h"

void show_loading_frame(const char* text, void (*present)()) {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_TEXTURE_2D);  // stays off until loading is over
  glLoadIdentity();
  glColor3f(1, 1, 1);
  glTranslatef(0, 0, -1);
  glScalef(0.4f, 0.4f, 0.4f);
  draw_glyph_text(text);
  present();
}
