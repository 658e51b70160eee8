// The audio thread does it all: each buffer it asks where the music should be when the buffer's
// first frame is heard (the shared time then, minus the base) and compares with where the stream
// is. Repeated and dropped frames are spread over the buffer, one at a place.
#include "tools/wall/stepped_music.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/wall/wall_timing.h"

SteppedMusic::~SteppedMusic() { close_audio_output(output_); }

bool SteppedMusic::open(const char* path, std::string& error) {
  if (!stream_.open(path, RATE)) {
    error = std::string("cannot play ") + path;
    return false;
  }
  if (!open_audio_output(output_, RATE, &SteppedMusic::fill, this)) {
    error = "no sound device";
    return false;
  }
  scratch_.resize(size_t(output_.buffer_frames + MUSIC_STEPS_PER_BUFFER + 1) * 2);
  start_audio_output(output_);
  return true;
}

void SteppedMusic::fill(void* self, int16_t* out, int frames) { static_cast<SteppedMusic*>(self)->fill_frames(out, frames); }

void SteppedMusic::fill_frames(int16_t* out, int frames) {
  // The buffer filled now is heard once the one playing has run out.
  const int64_t heard = clock_->now() + int64_t(output_.buffer_frames) * NANOSECONDS / RATE;
  const double target = double(heard - base_->load()) / NANOSECONDS;
  const MusicStep step = music_step(double(next_frame_) / RATE - target, in_step_, RATE);
  int skip_silence = 0;  // before the music's start: silence first
  if (step.jump) {
    const long long frame = std::llround(target * RATE);
    skip_silence = static_cast<int>(std::clamp<long long>(-frame, 0, frames));
    next_frame_ = std::max(frame, 0LL);
    stream_.seek(next_frame_);
    in_step_ = true;
    ++jumps_;
  }
  std::memset(out, 0, size_t(frames) * 2 * sizeof(int16_t));
  const int wanted = frames - skip_silence;
  if (wanted <= 0 || frames > output_.buffer_frames) return;
  // Read what the buffer needs from the music: more when frames are dropped, fewer when repeated.
  const int reading = wanted + step.drop - step.repeat;
  const size_t got = stream_.read(scratch_.data(), size_t(std::max(reading, 0)));
  next_frame_ += static_cast<long long>(got);
  apply_music_step(scratch_.data(), got, out + size_t(skip_silence) * 2, wanted, step);
  if (step.drop) dropped_ += step.drop;
  if (step.repeat) repeated_ += step.repeat;
}
