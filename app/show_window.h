#pragma once
// The one fullscreen window of the show and its GL context, over SDL. Everything opened here lives
// until the process ends; nothing is ever closed.
#include <SDL2/SDL_video.h>

#include <cstdint>

struct ScreenSize {
  int32_t width, height;  // pixels of display 0's desktop mode
};

// Connects to the display, reads the desktop mode of display 0, opens the borderless screen-sized
// window (title "", X11 class "Thing", cursor hidden) with a double-buffered RGBA surface and a
// compatibility GL context made current, vertical sync when the driver allows, and installs the
// window's buffer swap as the show's swap. false after printing one line on stderr naming what
// could not be had.
bool open_show_window(ScreenSize& screen);

// Fullscreen at the desktop mode read by open_show_window. false after printing one line on stderr.
bool enter_fullscreen();

// After SDL's video has started: false, with SDL_GetError set, when SDL found no window system and
// fell back on a driver that shows nothing ("offscreen", "dummy") without being asked for it.
bool window_system_found();

// A window with the show's surface (double-buffered RGBA, the deepest depth buffer the driver
// gives) and a compatibility GL context, made current; the surfaces are tried best first. For the
// authoring tools' own windows. Null when none can be had (SDL_GetError says why); SDL's video
// must be initialised.
SDL_Window* open_gl_window(const char* title, int x, int y, int width, int height, Uint32 flags,
                           SDL_GLContext& context);
