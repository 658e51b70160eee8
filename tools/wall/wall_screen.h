#pragma once
// Where a machine of the wall shows its frames, and when each will be seen: fullscreen on its
// display (a frame is seen one refresh after the last swap), or paced by the machine's own clock
// at a fixed rate offscreen or without drawing at all (a frame is "seen" at its tick), for tests
// and benchmarks on machines without a display.
#include <memory>
#include <string>

#include "tools/wall/wall_options.h"

class WallScreen {
 public:
  virtual ~WallScreen() = default;
  // False for --rows-only: no GL, no photos, nothing drawn.
  virtual bool draws() const = 0;
  // Quit inputs taken since the last call (Escape, right click, the window closed).
  virtual bool quit_asked() { return false; }
  // Local monotonic seconds at which the frame about to be drawn will be seen.
  virtual double next_presentation(double now) = 0;
  // The frame drawn is shown (or, without drawing, its time has come).
  virtual void present() = 0;
};

// The screen the options ask for, its GL context current and the viewport set (the letterbox, or
// this display's tile of the wall). Null, with `error`, when it cannot be had.
std::unique_ptr<WallScreen> open_wall_screen(const WallOptions& options, std::string& error);

// The one screen's present, as the show's frame functions take it.
void present_wall_screen();
