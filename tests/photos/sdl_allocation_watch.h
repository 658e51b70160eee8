#pragma once
// SDL's memory functions replaced by ones that refuse any request above a limit and remember the
// largest request made: the codecs allocate their surfaces through SDL, so a test (or fuzz
// target) can see how much a decode asked for, and a hostile header cannot take the machine's
// memory while it is looked at.
#include <SDL.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace sdl_allocation_watch {

inline std::atomic<size_t> refused_above{SIZE_MAX};
inline std::atomic<size_t> largest{0};
inline SDL_malloc_func real_malloc;
inline SDL_calloc_func real_calloc;
inline SDL_realloc_func real_realloc;
inline SDL_free_func real_free;

inline void note(size_t bytes) {
  size_t seen = largest.load();
  while (bytes > seen && !largest.compare_exchange_weak(seen, bytes)) {
  }
}
inline void* capped_malloc(size_t n) {
  note(n);
  return n > refused_above ? nullptr : real_malloc(n);
}
inline void* capped_calloc(size_t count, size_t n) {
  note(count != 0 && n > SIZE_MAX / count ? SIZE_MAX : count * n);
  return count != 0 && n > refused_above / count ? nullptr : real_calloc(count, n);
}
inline void* capped_realloc(void* p, size_t n) {
  note(n);
  return n > refused_above ? nullptr : real_realloc(p, n);
}

// From now on SDL refuses requests above `limit` bytes.
inline void start(size_t limit) {
  refused_above = limit;
  SDL_GetMemoryFunctions(&real_malloc, &real_calloc, &real_realloc, &real_free);
  SDL_SetMemoryFunctions(capped_malloc, capped_calloc, capped_realloc, real_free);
}
inline void stop() { SDL_SetMemoryFunctions(real_malloc, real_calloc, real_realloc, real_free); }

}  // namespace sdl_allocation_watch
