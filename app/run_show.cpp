#include "app/run_show.h"

#include <GL/gl.h>
#include <SDL2/SDL.h>

#include "app/frame_loop.h"
#include "app/letterbox.h"
#include "app/show_window.h"
#include "app/silence_output.h"
#include "app/start_show.h"

// How long the display is given to settle into the fullscreen mode before the first frame.
constexpr Uint32 FULLSCREEN_SETTLE_MS = 100;

int run_show() {
  ScreenSize screen{};
  if (!open_show_window(screen)) {
    SDL_Quit();
    return 1;
  }
  set_letterbox_viewport(screen.width, screen.height);
  glClearDepth(1.0);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  if (!enter_fullscreen()) {
    SDL_Quit();  // gives the desktop its mode back if the switch got halfway
    return 1;
  }
  silence_output();  // set up: from here on the show prints nothing
  SDL_Delay(FULLSCREEN_SETTLE_MS);
  start_show();
  run_frame_loop();
}
