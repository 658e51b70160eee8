#pragma once
// Destroying the show's window from outside is one of the quit inputs. On X11 the first sign of it
// is usually not an event but an X error from the next buffer swap, which Xlib's default handler
// would turn into exit code 1; this turns it into the quit instead.
#include <SDL2/SDL_video.h>

// Watches `window` from now on; does nothing on window systems other than X11.
void quit_when_window_destroyed(SDL_Window* window);
