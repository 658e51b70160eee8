#include "app/letterbox.h"

#include <GL/gl.h>
#include <GL/glu.h>

Letterbox letterbox_for(int32_t screen_width, int32_t screen_height) {
  // The bounds are single-precision values compared after widening, so 1366×768 (1.7786…) counts
  // as 16:9 and keeps its full screen.
  const float aspect = static_cast<float>(static_cast<double>(screen_width) / screen_height);
  if (static_cast<double>(aspect) >= static_cast<double>(1.77f) &&
      static_cast<double>(aspect) < static_cast<double>(1.78f)) {
    return {0, 0, screen_width, screen_height, aspect};
  }
  // 64-bit so that very wide screens cannot overflow the × 1000.
  const int32_t height = static_cast<int32_t>(static_cast<int64_t>(screen_width) * 1000 / 1777);
  const int32_t y = (screen_height - height) / 2;
  return {0, y, screen_width, height, LETTERBOX_ASPECT};
}

void set_letterbox_viewport(int32_t screen_width, int32_t screen_height) {
  apply_letterbox(letterbox_for(screen_width, screen_height));
}

void apply_letterbox(const Letterbox& box) {
  glViewport(box.x, box.y, box.width, box.height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, box.aspect, static_cast<double>(0.1f), 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}
