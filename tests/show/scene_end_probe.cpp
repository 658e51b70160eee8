// A show without a window, run through the app's own frame loop: the working directory is the
// folder given, tracks as the show binds them, frames presented offscreen. Each presented frame
// prints "presented" on stdout; the third one ends the probe with exit code 3 ("the show went
// on"). The end of the show ends it the way the app ends, with exit code 0.
#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/frame_loop.h"
#include "app/letterbox.h"
#include "app/offscreen_gl.h"
#include "app/swap_buffers.h"
#include "show/music_clock.h"
#include "show/scene.h"

namespace {

int presented = 0;

void present_and_report() {
  present_offscreen_frame();
  static const char line[] = "presented\n";
  // Unbuffered: the process may end with _exit, which flushes nothing.
  if (write(STDOUT_FILENO, line, sizeof line - 1) < 0) _exit(4);
  if (++presented == 3) _exit(3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || chdir(argv[1]) != 0) {
    std::fprintf(stderr, "usage: scene_end_probe SHOW-FOLDER\n");
    return 2;
  }
  std::string error;
  auto gl = OffscreenGl::create(64, 36, error);
  if (!gl) {
    std::fprintf(stderr, "scene_end_probe: %s\n", error.c_str());
    return 2;
  }
  SDL_Init(SDL_INIT_EVENTS);
  set_letterbox_viewport(gl->width(), gl->height());
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  set_swap_function(present_and_report);
  init_music_and_tracks();
  start_music();
  run_frame_loop();
}
