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
  SetLoopStart,       // [ : on the beat nearest the play head
  SetLoopEnd,         // ]
  SetLoopStartExact,  // Alt+[ : exactly at the play head
  SetLoopEndExact,    // Alt+]
  ToggleLoop,         // L
  ToggleFullscreen,   // F
  ToggleOverlay,      // H
  DelayMore,          // + : the picture 10 ms later against the sound
  DelayLess,          // - : 10 ms earlier
  Quit,               // Q, Escape
  PreviousTrack,      // Up, Shift+Tab: the track cursor of the overlay's table
  NextTrack,          // Down, Tab
  SetKey,             // K: a key at the play head's beat with the selected track's value there
  CycleInterpolation, // I: the interpolation of the key there (or the one before it)
  DeleteKey,          // Delete: the key at the play head's beat
  TypeCharacter,      // 0-9 and '.': a value being typed (typed_character tells which)
  EraseCharacter,     // Backspace
  EnterValue,         // Enter: a key at the play head's beat with the typed value
  Undo,               // Ctrl+Z: the studio's last edit of the show text taken back
};

// The layout's key (so "[" is wherever the keyboard has it) and the modifiers held with it.
// Keys held with Ctrl, Alt or the GUI key do nothing (they belong to the desktop), except Escape,
// Ctrl+Z and Alt with [ or ].
StudioAction key_action(SDL_Keycode key, Uint16 modifiers);
// The character a TypeCharacter key types ('0'-'9', '.'); 0 for any other key.
char typed_character(SDL_Keycode key);
