#pragma once
// SDL's events in the terms of the quit rule.
#include <SDL2/SDL_events.h>
#include "app/quit_inputs.h"

InputEvent classify_sdl_event(const SDL_Event& event);
