#pragma once
// Presents the frame drawn so far. The window (or, in tests and capture, an offscreen context)
// installs the function that does it; until one is installed, swapping does nothing.

using SwapFunction = void (*)();

void set_swap_function(SwapFunction fn);
void swap_buffers();
