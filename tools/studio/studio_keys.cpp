#include "tools/studio/studio_keys.h"

StudioAction key_action(SDL_Keycode key, Uint16 modifiers) {
  if (key == SDLK_ESCAPE) return StudioAction::Quit;  // whatever else is held
  if (modifiers & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) return StudioAction::None;
  const bool shift = (modifiers & KMOD_SHIFT) != 0;
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
    default: return StudioAction::None;
  }
}
