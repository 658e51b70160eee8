// Which inputs end the show, and how SDL's events map onto them.
#include <gtest/gtest.h>

#include "app/quit_inputs.h"
#include "app/sdl_input.h"

namespace {

TEST(LoopAction, OnlyEscapeRightButtonAndClosingEndTheShow) {
  const struct {
    InputEvent event;
    LoopAction action;
  } rules[] = {
      {InputEvent::EscapeDown, LoopAction::EndProcess},
      {InputEvent::RightButtonDown, LoopAction::EndProcess},
      {InputEvent::WindowClosed, LoopAction::EndProcess},
      {InputEvent::QuitRequested, LoopAction::EndProcess},
      {InputEvent::OtherKeyDown, LoopAction::Continue},
      {InputEvent::LeftButtonDown, LoopAction::Continue},
      {InputEvent::OtherButtonDown, LoopAction::Continue},
      {InputEvent::Other, LoopAction::Continue},
  };
  for (const auto& rule : rules) {
    EXPECT_EQ(loop_action(rule.event), rule.action) << static_cast<int>(rule.event);
  }
}

SDL_Event key(Uint32 type, SDL_Keycode sym, SDL_Scancode scancode, Uint8 repeat = 0) {
  SDL_Event e{};
  e.type = type;
  e.key.keysym.sym = sym;
  e.key.keysym.scancode = scancode;
  e.key.repeat = repeat;
  return e;
}

SDL_Event button(Uint32 type, Uint8 which) {
  SDL_Event e{};
  e.type = type;
  e.button.button = which;
  return e;
}

SDL_Event window(Uint8 what) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = what;
  return e;
}

SDL_Event plain(Uint32 type) {
  SDL_Event e{};
  e.type = type;
  return e;
}

TEST(ClassifySdlEvent, EventsAsTheQuitRuleSeesThem) {
  const struct {
    const char* what;
    SDL_Event event;
    InputEvent expected;
  } cases[] = {
      {"Escape down", key(SDL_KEYDOWN, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE), InputEvent::EscapeDown},
      {"Escape held (repeat)", key(SDL_KEYDOWN, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 1), InputEvent::EscapeDown},
      {"Escape up", key(SDL_KEYUP, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE), InputEvent::Other},
      // The keymap decides: a key remapped to Escape is Escape, the key at Escape's place is not.
      {"remapped to Escape", key(SDL_KEYDOWN, SDLK_ESCAPE, SDL_SCANCODE_CAPSLOCK), InputEvent::EscapeDown},
      {"Escape's place, other key", key(SDL_KEYDOWN, SDLK_q, SDL_SCANCODE_ESCAPE), InputEvent::OtherKeyDown},
      {"letter", key(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A), InputEvent::OtherKeyDown},
      {"space", key(SDL_KEYDOWN, SDLK_SPACE, SDL_SCANCODE_SPACE), InputEvent::OtherKeyDown},
      {"Q", key(SDL_KEYDOWN, SDLK_q, SDL_SCANCODE_Q), InputEvent::OtherKeyDown},
      {"left down", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT), InputEvent::LeftButtonDown},
      {"right down", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT), InputEvent::RightButtonDown},
      {"right up", button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT), InputEvent::Other},
      {"middle down", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE), InputEvent::OtherButtonDown},
      {"side down", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X1), InputEvent::OtherButtonDown},
      {"window close", window(SDL_WINDOWEVENT_CLOSE), InputEvent::WindowClosed},
      {"window hidden", window(SDL_WINDOWEVENT_HIDDEN), InputEvent::Other},
      {"focus lost", window(SDL_WINDOWEVENT_FOCUS_LOST), InputEvent::Other},
      {"exposed", window(SDL_WINDOWEVENT_EXPOSED), InputEvent::Other},
      {"quit", plain(SDL_QUIT), InputEvent::QuitRequested},
      {"motion", plain(SDL_MOUSEMOTION), InputEvent::Other},
      {"wheel", plain(SDL_MOUSEWHEEL), InputEvent::Other},
      {"text", plain(SDL_TEXTINPUT), InputEvent::Other},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(classify_sdl_event(c.event), c.expected) << c.what;
  }
}

}  // namespace
