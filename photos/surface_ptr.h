#pragma once
// An SDL surface that frees itself.
#include <SDL.h>

#include <memory>

struct SurfaceFree {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceFree>;
