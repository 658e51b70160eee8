#include "app/frame_loop.h"

#include <SDL2/SDL.h>
#include <unistd.h>

#include "app/sdl_input.h"
#include "app/swap_buffers.h"
#include "show/open_photos.h"
#include "show/scene.h"

void run_frame_loop() {
  for (;;) {
    SDL_Event event;
    if (SDL_PollEvent(&event)) {
      if (loop_action(classify_sdl_event(event)) == LoopAction::EndProcess) end_process();
    } else if (render_frame(swap_buffers) == FrameResult::EndOfShow) {
      end_process();
    }
  }
}

void end_process() {
  finish_open_photos();
  _exit(0);
}
