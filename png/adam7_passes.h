#pragma once
// The seven passes of Adam7 interlacing: where each one's pixels lie in the image.
#include <cstdint>

struct Adam7Pass {
  uint32_t x0, y0, dx, dy;  // origin and spacing in the image
};
constexpr Adam7Pass ADAM7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

inline uint64_t pass_width(const Adam7Pass& p, uint64_t w) { return (w + p.dx - 1 - p.x0) / p.dx; }
inline uint64_t pass_height(const Adam7Pass& p, uint64_t h) { return (h + p.dy - 1 - p.y0) / p.dy; }
