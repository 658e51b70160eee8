#pragma once
// Which inputs end the show. Kept apart from the window system so the rule can be read and tested
// on its own: the frame loop classifies each window-system event into one of these and asks.

enum class InputEvent {
  EscapeDown,        // the Escape key pressed (auto-repeat included)
  OtherKeyDown,      // any other key pressed
  LeftButtonDown,
  RightButtonDown,
  OtherButtonDown,   // middle, side buttons
  WindowClosed,      // the window manager asks the window to close, or the window is destroyed
  QuitRequested,     // the session or the process is asked to quit
  Other,             // releases, motion, focus, exposure and everything else
};

enum class LoopAction { Continue, EndProcess };

LoopAction loop_action(InputEvent event);
