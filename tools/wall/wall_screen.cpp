#include "tools/wall/wall_screen.h"

#include <GL/gl.h>
#include <SDL2/SDL.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "app/letterbox.h"
#include "app/offscreen_gl.h"
#include "app/quit_inputs.h"
#include "app/sdl_input.h"
#include "app/show_window.h"
#include "app/swap_buffers.h"
#include "app/wall_tile.h"
#include "show/music_player.h"
#include "tools/wall/wall_timing.h"

namespace {

WallScreen* the_screen = nullptr;

constexpr double DEFAULT_REFRESH_HZ = 60.0;  // when the display does not say

// The picture's projection, as the show's window or as a tile of the wall.
bool set_viewport(const WallOptions& options, int width, int height, std::string& error) {
  if (options.tiled) {
    if (!set_wall_tile_viewport(options.wall, width, height, error)) return false;
  } else {
    set_letterbox_viewport(width, height);
  }
  glClearDepth(1.0);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  return true;
}

class WindowScreen : public WallScreen {
 public:
  bool open(const WallOptions& options, std::string& error) {
    ScreenSize screen{};
    if (!open_show_window(screen)) {
      error = "no display to show on";
      return false;
    }
    if (!set_viewport(options, screen.width, screen.height, error)) return false;
    if (!enter_fullscreen()) {
      error = "no fullscreen mode";
      return false;
    }
    SDL_DisplayMode mode{};
    refresh_ = 1.0 / DEFAULT_REFRESH_HZ;
    if (SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0) refresh_ = 1.0 / mode.refresh_rate;
    return true;
  }
  bool draws() const override { return true; }
  bool quit_asked() override {
    SDL_Event event;
    while (SDL_PollEvent(&event))
      if (loop_action(classify_sdl_event(event)) == LoopAction::EndProcess) return true;
    return false;
  }
  double next_presentation(double now) override { return predicted_presentation(last_swap_, refresh_, now); }
  void present() override {
    swap_buffers();
    last_swap_ = steady_seconds();
  }

 private:
  double refresh_ = 0.0, last_swap_ = 0.0;
};

// Frames at fixed ticks of the machine's own clock: a frame is drawn ahead and shown at its tick.
class PacedScreen : public WallScreen {
 public:
  PacedScreen(int fps, std::unique_ptr<OffscreenGl> gl) : period_(1.0 / fps), gl_(std::move(gl)) {}
  bool draws() const override { return gl_ != nullptr; }
  double next_presentation(double now) override {
    if (start_ == 0.0) start_ = now;
    // The first tick after now (a late frame skips the ticks it missed, as a display would).
    tick_ = start_ + std::ceil((now - start_) / period_ + 1e-9) * period_;
    return tick_;
  }
  void present() override {
    const double wait = tick_ - steady_seconds();
    if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    if (gl_) present_offscreen_frame();
  }

 private:
  double period_, start_ = 0.0, tick_ = 0.0;
  std::unique_ptr<OffscreenGl> gl_;
};

}  // namespace

std::unique_ptr<WallScreen> open_wall_screen(const WallOptions& options, std::string& error) {
  std::unique_ptr<WallScreen> screen;
  if (options.display == WallDisplay::Window) {
    auto window = std::make_unique<WindowScreen>();
    if (!window->open(options, error)) return nullptr;
    screen = std::move(window);
  } else if (options.display == WallDisplay::Offscreen) {
    auto gl = OffscreenGl::create(options.width, options.height, error, OffscreenGl::Depth::None);
    if (!gl) return nullptr;
    set_swap_function(present_offscreen_frame);
    if (!set_viewport(options, options.width, options.height, error)) return nullptr;
    screen = std::make_unique<PacedScreen>(options.fps, std::move(gl));
  } else {
    screen = std::make_unique<PacedScreen>(options.fps, nullptr);
  }
  the_screen = screen.get();
  return screen;
}

void present_wall_screen() {
  if (the_screen) the_screen->present();
}
