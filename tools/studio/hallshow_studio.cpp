// hallshow-studio: a show played in a normal window, in time with its music, and live as its text
// is edited. The picture is the show's own (its start-up, loading frames, photos, tracks and
// render_frame_at), letterboxed to the window as the show letterboxes to the screen; the overlay
// and the keys are the studio's.
//
// Test hook: with HALLSHOW_STUDIO_STATE=FILE in the environment, the studio writes its state
// (row, pause, loop, the text's generation and first fault, ...) to FILE after every frame.
#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/huge_page_memory.h"
#include "app/show_window.h"
#include "app/window_destroyed.h"
#include "show/music_player.h"
#include "tools/authoring/show_files.h"
#include "tools/studio/studio.h"
#include "tools/studio/studio_keys.h"
#include "tools/studio/studio_options.h"

namespace {

SDL_Window* window = nullptr;
void present_window() { SDL_GL_SwapWindow(window); }

// Frames are drawn no faster than this when the driver does not wait for the display (software
// GL under Xvfb, vertical sync off): an authoring tool shares the machine with an editor.
constexpr double MAX_FRAMES_PER_SECOND = 60.0;

// Fullscreen is the show's screen: the window is made exactly the display's size and place before
// the window manager is asked for fullscreen. Without a window manager (a bare X server) SDL would
// otherwise report the screen's size for a window that never grew, and the picture, letterboxed
// for the screen, would be cut by the window. The windowed place and size come back on leaving.
bool fullscreen = false;
SDL_Rect windowed{};

void set_fullscreen(bool on) {
  if (on == fullscreen) return;
  fullscreen = on;
  if (on) {
    SDL_GetWindowPosition(window, &windowed.x, &windowed.y);
    SDL_GetWindowSize(window, &windowed.w, &windowed.h);
    const int display = SDL_GetWindowDisplayIndex(window);
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &bounds) == 0) {
      SDL_SetWindowBordered(window, SDL_FALSE);
      SDL_SetWindowPosition(window, bounds.x, bounds.y);
      SDL_SetWindowSize(window, bounds.w, bounds.h);
    }
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  } else {
    SDL_SetWindowFullscreen(window, 0);
    SDL_SetWindowBordered(window, SDL_TRUE);
    SDL_SetWindowSize(window, windowed.w, windowed.h);
    SDL_SetWindowPosition(window, windowed.x, windowed.y);
  }
}

// Window coordinates to drawable pixels (they differ on high-density displays).
void to_pixels(int& x, int& y) {
  int ww = 0, wh = 0, dw = 0, dh = 0;
  SDL_GetWindowSize(window, &ww, &wh);
  SDL_GL_GetDrawableSize(window, &dw, &dh);
  if (ww > 0 && wh > 0) {
    x = x * dw / ww;
    y = y * dh / wh;
  }
}

// The studio ends at once, as the show does, once the last save is in kestos/.
[[noreturn]] void quit(Studio& studio) {
  studio.finish();
  _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  StudioOptions options;
  std::string error;
  if (!parse_studio_options(argc, argv, options, error)) {
    std::fprintf(stderr, "hallshow-studio: %s\n%s", error.c_str(), STUDIO_USAGE);
    return 2;
  }
  if (options.help) {
    std::fputs(STUDIO_USAGE, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("hallshow-studio %s\n", HALLSHOW_VERSION);
    return 0;
  }
  restart_with_huge_page_memory(argv);
  std::string text;
  if (!read_whole_file(options.show_text, text)) {
    std::fprintf(stderr,
                 "hallshow-studio: cannot read %s (run it in a show folder, or name the show text: "
                 "hallshow-studio SHOW.txt)\n",
                 options.show_text.c_str());
    return 1;
  }

  if (SDL_Init(SDL_INIT_VIDEO) != 0 || !window_system_found()) {
    std::fprintf(stderr, "hallshow-studio: no display to show on: %s\n", SDL_GetError());
    return 1;
  }
  const std::string title = "hallshow-studio: " + options.show_text;
  SDL_GLContext context = nullptr;
  window = open_gl_window(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, options.width,
                          options.height,
                          SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI, context);
  if (!window) {
    std::fprintf(stderr, "hallshow-studio: no double-buffered RGBA OpenGL window: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  quit_when_window_destroyed(window);
  SDL_GL_SetSwapInterval(1);
  if (options.fullscreen) set_fullscreen(true);

  const char* state_file = std::getenv("HALLSHOW_STUDIO_STATE");
  const std::string state_path = state_file ? state_file : "";
  Studio studio(options, present_window);
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(window, &width, &height);
  studio.resize(width, height);
  studio.start();

  const double frame_seconds = 1.0 / MAX_FRAMES_PER_SECOND;
  for (;;) {
    const double began = steady_seconds();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      switch (event.type) {
        case SDL_QUIT:
          quit(studio);
        case SDL_WINDOWEVENT:
          if (event.window.event == SDL_WINDOWEVENT_CLOSE) quit(studio);
          break;
        case SDL_KEYDOWN: {
          const StudioAction action = key_action(event.key.keysym.sym, event.key.keysym.mod);
          if (action == StudioAction::Quit) quit(studio);
          if (action == StudioAction::ToggleFullscreen) {
            if (!event.key.repeat) set_fullscreen(!fullscreen);
          } else if (action == StudioAction::TypeCharacter) {
            studio.type(typed_character(event.key.keysym.sym));
          } else {
            studio.act(action, began);
          }
          break;
        }
        case SDL_MOUSEBUTTONDOWN:
          if (event.button.button == SDL_BUTTON_LEFT) {
            int x = event.button.x, y = event.button.y;
            to_pixels(x, y);
            studio.press(x, y);
          }
          break;
        case SDL_MOUSEMOTION:
          if (event.motion.state & SDL_BUTTON_LMASK) {
            int x = event.motion.x, y = event.motion.y;
            to_pixels(x, y);
            studio.drag(x, y);
          }
          break;
        case SDL_MOUSEBUTTONUP:
          if (event.button.button == SDL_BUTTON_LEFT) studio.release();
          break;
        default:
          break;
      }
    }
    SDL_GL_GetDrawableSize(window, &width, &height);
    studio.resize(width, height);
    studio.frame(steady_seconds());
    if (!state_path.empty()) studio.write_state(state_path);
    const double spent = steady_seconds() - began;
    if (spent < frame_seconds) SDL_Delay(static_cast<Uint32>((frame_seconds - spent) * 1000.0));
  }
}
