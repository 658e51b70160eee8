#pragma once
// The sound device (SDL2 audio): 16-bit stereo output that asks for its samples a buffer at a time.
#include <cstdint>

// Called on the audio thread whenever the device wants `frames` stereo frames; it must fill them all.
using FillAudio = void (*)(void* user, int16_t* out, int frames);

// The device calls back into this record, so it must stay where it is while the device is open.
struct AudioOutput {
  FillAudio fill = nullptr;
  void* user = nullptr;
  uint32_t device = 0;    // 0 when no device is open
  int rate = 0;           // frames per second, as asked for
  int buffer_frames = 0;  // frames per callback, as the device granted
  bool initialised = false;
};

// Opens the default output device at `rate`, paused. False when there is no audio device.
bool open_audio_output(AudioOutput& out, int rate, FillAudio fill, void* user);
void start_audio_output(AudioOutput& out);
void close_audio_output(AudioOutput& out);
