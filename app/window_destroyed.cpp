#include "app/window_destroyed.h"

#include <SDL2/SDL_syswm.h>

#include "app/frame_loop.h"

namespace {

Window watched = 0;
XErrorHandler earlier = nullptr;

// X errors arrive asynchronously, so any request naming the gone window may be the one that
// fails: a geometry query (BadWindow) or the swap itself (GLX's own GLXBadDrawable, whose code
// depends on the server); all of them mean the same thing here.
int on_x_error(Display* display, XErrorEvent* error) {
  if (watched != 0 && error->resourceid == watched) end_process();
  return earlier ? earlier(display, error) : 0;
}

}  // namespace

void quit_when_window_destroyed(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  watched = info.info.x11.window;
  earlier = XSetErrorHandler(on_x_error);
}
