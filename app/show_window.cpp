#include "app/show_window.h"

#include <SDL2/SDL.h>
#include <cstdio>
#include <cstdlib>

#include "app/swap_buffers.h"
#include "app/window_destroyed.h"

namespace {

SDL_DisplayMode display_mode;  // handed back unchanged to the fullscreen switch
SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;

// Surfaces asked for, best first: 32 depth bits where the driver has them, else the closest
// below; a surface without alpha bits last, as nothing reads the destination alpha (blending
// uses the source's) and the picture is the same.
struct Surface {
  int alpha_bits, depth_bits;
};
constexpr Surface SURFACES[] = {{8, 32}, {8, 24}, {8, 16}, {0, 24}, {0, 16}};

void report(const char* cause) { std::fprintf(stderr, "hallshow: %s: %s\n", cause, SDL_GetError()); }

void present() { SDL_GL_SwapWindow(window); }

void ask_for_surface(const Surface& surface) {
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, surface.alpha_bits);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, surface.depth_bits);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  // Fixed-function drawing and display lists: a compatibility context, whatever version it is.
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

}  // namespace

// With no window system at all SDL falls back to drivers that draw nowhere; the show would then
// run unseen. They are taken only when asked for by name.
bool window_system_found() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) return false;
  const bool unseen = SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0;
  if (unseen && !SDL_getenv("SDL_VIDEODRIVER")) {
    SDL_SetError("no window system found, only SDL's \"%s\" video driver (is DISPLAY set?)", driver);
    return false;
  }
  return true;
}

// On X11 the pixel format is fixed when the window is created, so a surface the driver lacks shows
// as a failed window (or context); each try starts over with a fresh window.
SDL_Window* open_gl_window(const char* title, int x, int y, int width, int height, Uint32 flags,
                           SDL_GLContext& gl_context) {
  for (const Surface& surface : SURFACES) {
    ask_for_surface(surface);
    SDL_Window* made = SDL_CreateWindow(title, x, y, width, height, flags | SDL_WINDOW_OPENGL);
    if (!made) continue;
    gl_context = SDL_GL_CreateContext(made);  // made current by SDL
    if (gl_context) return made;
    SDL_DestroyWindow(made);
  }
  return nullptr;
}

bool open_show_window(ScreenSize& screen) {
  // SDL reads the X11 window class from the environment when the video subsystem starts.
  setenv("SDL_VIDEO_X11_WMCLASS", "Thing", 1);
  // A click is an input whether or not it also gives the window focus; otherwise a right click
  // queued while the show loads, next to the focus change, would be dropped.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    report("no display to show on");
    return false;
  }
  if (!window_system_found()) {
    report("no display to show on");
    return false;
  }
  if (SDL_GetDesktopDisplayMode(0, &display_mode) != 0) {
    report("no desktop display mode");
    return false;
  }
  SDL_Rect bounds{0, 0, display_mode.w, display_mode.h};
  SDL_GetDisplayBounds(0, &bounds);  // display 0's place on the desktop; (0, 0) if unknown

  window = open_gl_window("", bounds.x, bounds.y, display_mode.w, display_mode.h,
                          SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN, context);
  if (!window) {
    report("no double-buffered RGBA OpenGL window");
    return false;
  }
  quit_when_window_destroyed(window);
  SDL_ShowCursor(SDL_DISABLE);
  SDL_GL_SetSwapInterval(1);  // vertical sync where the driver allows it; tearing is no failure
  set_swap_function(present);

  screen = {display_mode.w, display_mode.h};
  return true;
}

bool enter_fullscreen() {
  if (SDL_SetWindowDisplayMode(window, &display_mode) != 0 ||
      SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) {
    report("no fullscreen mode");
    return false;
  }
  return true;
}
