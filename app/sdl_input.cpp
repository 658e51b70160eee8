#include "app/sdl_input.h"

InputEvent classify_sdl_event(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
      // The layout's key, not the physical position: Escape is wherever the keymap puts it.
      return event.key.keysym.sym == SDLK_ESCAPE ? InputEvent::EscapeDown : InputEvent::OtherKeyDown;
    case SDL_MOUSEBUTTONDOWN:
      switch (event.button.button) {
        case SDL_BUTTON_LEFT: return InputEvent::LeftButtonDown;
        case SDL_BUTTON_RIGHT: return InputEvent::RightButtonDown;
        default: return InputEvent::OtherButtonDown;
      }
    case SDL_WINDOWEVENT:
      return event.window.event == SDL_WINDOWEVENT_CLOSE ? InputEvent::WindowClosed : InputEvent::Other;
    case SDL_QUIT:
      return InputEvent::QuitRequested;
    default:
      return InputEvent::Other;
  }
}
