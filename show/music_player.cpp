// The audio thread decodes as the device asks, so nothing is decoded ahead of need and the
// main thread never touches the decoder once playback has begun. Each callback leaves an
// anchor: when it ran and what was audible then, which is everything handed over before it
// minus the buffer the device is still playing. The reader extrapolates from the anchor.
#include "show/music_player.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr size_t PRIMED_FRAMES = 4096;  // enough to hold at least one MPEG frame

}  // namespace

double steady_seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

MusicPlayer::~MusicPlayer() { close_audio_output(output_); }

bool MusicPlayer::open(const char* path) {
  if (opened_ || started_) return audible_;  // one piece of music per player
  opened_ = true;
  if (!stream_.open(path, OUTPUT_RATE)) return false;
  primed_.resize(PRIMED_FRAMES * 2);
  const size_t got = stream_.read(primed_.data(), PRIMED_FRAMES);
  primed_.resize(got * 2);
  if (got == 0) return false;  // a header but no sound behind it
  if (!open_audio_output(output_, OUTPUT_RATE, &MusicPlayer::fill, this)) return false;
  audible_ = true;
  return true;
}

void MusicPlayer::start() {
  if (started_) return;
  started_ = true;
  start_time_ = now_();
  clock_.start(start_time_);
  if (audible_) start_audio_output(output_);
}

double MusicPlayer::seconds() {
  if (!started_) return 0.0;
  const double now = now_();
  if (!audible_) return std::max(now - start_time_, 0.0);
  AudioAnchor anchor;
  {
    std::lock_guard<std::mutex> hold(lock_);
    anchor = anchor_;
  }
  return clock_.position_at(now, anchor);
}

double MusicPlayer::length_seconds() {
  if (audible_) {
    std::lock_guard<std::mutex> hold(lock_);
    if (anchor_.ended) return anchor_.handed;
  }
  return audible_ ? stream_.length_seconds() : 0.0;
}

void MusicPlayer::fill(void* self, int16_t* out, int frames) {
  static_cast<MusicPlayer*>(self)->fill_frames(out, frames);
}

void MusicPlayer::fill_frames(int16_t* out, int frames) {
  const double now = now_();
  size_t done = 0;
  const size_t want = size_t(frames);
  if (primed_used_ < primed_.size()) {
    const size_t n = std::min(want, (primed_.size() - primed_used_) / 2);
    std::memcpy(out, primed_.data() + primed_used_, n * 2 * sizeof(int16_t));
    primed_used_ += n * 2;
    done = n;
  }
  if (!music_over_ && done < want) done += stream_.read(out + done * 2, want - done);
  std::memset(out + done * 2, 0, (want - done) * 2 * sizeof(int16_t));  // silence after the end

  std::lock_guard<std::mutex> hold(lock_);
  anchor_.time = now;
  anchor_.position = double(device_frames_ - output_.buffer_frames) / OUTPUT_RATE;
  device_frames_ += frames;
  music_frames_ += static_cast<long long>(done);
  anchor_.handed = double(music_frames_) / OUTPUT_RATE;
  music_over_ = music_over_ || done < want;
  anchor_.ended = music_over_;
  anchor_.valid = true;
}
