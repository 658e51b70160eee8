// SDL converts to whatever the hardware wants, so the callback always sees the format asked for.
#include "show/audio_output.h"

#include <SDL.h>

namespace {

constexpr Uint16 BUFFER_FRAMES = 1024;  // about 23 ms at 44100 Hz: the clock's granularity

void sdl_callback(void* userdata, Uint8* stream, int len) {
  auto* out = static_cast<AudioOutput*>(userdata);
  out->fill(out->user, reinterpret_cast<int16_t*>(stream), len / int(2 * sizeof(int16_t)));
}

}  // namespace

bool open_audio_output(AudioOutput& out, int rate, FillAudio fill, void* user) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;  // no audio driver at all
  out.initialised = true;
  SDL_AudioSpec want{}, have{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = BUFFER_FRAMES;
  want.callback = sdl_callback;
  want.userdata = &out;
  out.fill = fill;
  out.user = user;
  out.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (out.device == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    out.initialised = false;
    return false;  // no device that can play
  }
  out.rate = rate;
  out.buffer_frames = have.samples;
  return true;
}

void start_audio_output(AudioOutput& out) {
  if (out.device) SDL_PauseAudioDevice(out.device, 0);
}

void close_audio_output(AudioOutput& out) {
  if (out.device) {
    SDL_CloseAudioDevice(out.device);  // waits for the callback thread to finish
    out.device = 0;
  }
  if (out.initialised) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  out.initialised = false;
}
