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
  int16_t* to = out + size_t(skip_silence) * 2;
  const int changes = step.drop + step.repeat;
  const int every = changes > 0 ? std::max(wanted / (changes + 1), 1) : wanted + 1;
  size_t from = 0;
  for (int i = 0, changed = 0; i < wanted && from < got; ++i) {
    if (changed < changes && i > 0 && i % every == 0) {
      ++changed;
      if (step.drop) ++from;  // a frame left out
      else {                  // the previous frame once more
        std::memcpy(to + size_t(i) * 2, to + size_t(i - 1) * 2, 2 * sizeof(int16_t));
        continue;
      }
      if (from >= got) break;
    }
    std::memcpy(to + size_t(i) * 2, scratch_.data() + from * 2, 2 * sizeof(int16_t));
    ++from;
  }
  if (step.drop) dropped_ += step.drop;
  if (step.repeat) repeated_ += step.repeat;
}
