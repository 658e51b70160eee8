#pragma once
// What each key of the studio does. Kept apart from the window so that the whole table can be read
// and tested on its own; the window turns SDL's key events into these actions and nothing else.
#include <SDL2/SDL_keyboard.h>

enum class StudioAction {
  None,
  TogglePause,        // Space
  BeatBack,           // Left: one beat (a second without a tempo)
  BeatForward,        // Right
  BarBack,            // Shift+Left: one bar
  BarForward,         // Shift+Right
  TenSecondsBack,     // Page Up
  TenSecondsForward,  // Page Down
  ToStart,            // Home
  SetLoopStart,       // [
  SetLoopEnd,         // ]
  ToggleLoop,         // L
  ToggleFullscreen,   // F
  ToggleOverlay,      // H
  DelayMore,          // + : the picture 10 ms later against the sound
  DelayLess,          // - : 10 ms earlier
  Quit,               // Q, Escape
};

// The layout's key (so "[" is wherever the keyboard has it) and the modifiers held with it.
// Keys held with Ctrl, Alt or the GUI key do nothing (they belong to the desktop), except Escape.
StudioAction key_action(SDL_Keycode key, Uint16 modifiers);
