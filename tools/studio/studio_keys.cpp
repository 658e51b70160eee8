#include "tools/studio/studio_keys.h"

StudioAction key_action(SDL_Keycode key, Uint16 modifiers) {
  if (key == SDLK_ESCAPE) return StudioAction::Quit;  // whatever else is held
  const bool ctrl = (modifiers & KMOD_CTRL) != 0, alt = (modifiers & KMOD_ALT) != 0, gui = (modifiers & KMOD_GUI) != 0;
  if (ctrl && !alt && !gui && key == SDLK_z) return StudioAction::Undo;
  if (alt && !ctrl && !gui && key == SDLK_LEFTBRACKET) return StudioAction::SetLoopStartExact;
  if (alt && !ctrl && !gui && key == SDLK_RIGHTBRACKET) return StudioAction::SetLoopEndExact;
  if (ctrl || alt || gui) return StudioAction::None;
  const bool shift = (modifiers & KMOD_SHIFT) != 0;
  if (typed_character(key) != 0) return StudioAction::TypeCharacter;
  switch (key) {
    case SDLK_SPACE: return StudioAction::TogglePause;
    case SDLK_LEFT: return shift ? StudioAction::BarBack : StudioAction::BeatBack;
    case SDLK_RIGHT: return shift ? StudioAction::BarForward : StudioAction::BeatForward;
    case SDLK_PAGEUP: return StudioAction::TenSecondsBack;
    case SDLK_PAGEDOWN: return StudioAction::TenSecondsForward;
    case SDLK_HOME: return StudioAction::ToStart;
    case SDLK_LEFTBRACKET: return StudioAction::SetLoopStart;
    case SDLK_RIGHTBRACKET: return StudioAction::SetLoopEnd;
    case SDLK_l: return StudioAction::ToggleLoop;
    case SDLK_f: return StudioAction::ToggleFullscreen;
    case SDLK_h: return StudioAction::ToggleOverlay;
    // "+" is Shift+"=" on many layouts; the unshifted key means the same.
    case SDLK_PLUS:
    case SDLK_EQUALS:
    case SDLK_KP_PLUS: return StudioAction::DelayMore;
    case SDLK_MINUS:
    case SDLK_KP_MINUS: return StudioAction::DelayLess;
    case SDLK_q: return StudioAction::Quit;
    case SDLK_UP: return StudioAction::PreviousTrack;
    case SDLK_DOWN: return StudioAction::NextTrack;
    case SDLK_TAB: return shift ? StudioAction::PreviousTrack : StudioAction::NextTrack;
    case SDLK_k: return StudioAction::SetKey;
    case SDLK_i: return StudioAction::CycleInterpolation;
    case SDLK_DELETE: return StudioAction::DeleteKey;
    case SDLK_BACKSPACE: return StudioAction::EraseCharacter;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return StudioAction::EnterValue;
    default: return StudioAction::None;
  }
}

char typed_character(SDL_Keycode key) {
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<char>('0' + (key - SDLK_0));
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return static_cast<char>('1' + (key - SDLK_KP_1));
  if (key == SDLK_KP_0) return '0';
  if (key == SDLK_PERIOD || key == SDLK_KP_PERIOD) return '.';
  return 0;
}
