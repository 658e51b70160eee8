#include "app/swap_buffers.h"

namespace {
SwapFunction installed = nullptr;
}

void set_swap_function(SwapFunction fn) { installed = fn; }

void swap_buffers() {
  if (installed) installed();
}
