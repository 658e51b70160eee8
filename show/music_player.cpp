// The audio thread decodes as the device asks, so nothing is decoded ahead of need and the
// main thread never touches the decoder once playback has begun. Each callback leaves an
// anchor: when it ran and what was audible then, which is everything handed over before it
// minus the buffer the device is still playing. The reader extrapolates from the anchor.
#include "show/music_player.h"

#include <algorithm>
#include <chrono>
#include <cmath>
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
  const double now = now_();
  start_time_ = now - held_;
  clock_.start(now, held_);
  if (audible_) start_audio_output(output_);
}

double MusicPlayer::seconds() {
  if (!started_ || paused_) return held_;
  const double now = now_();
  if (!audible_) return std::max(now - start_time_, 0.0);
  AudioAnchor anchor;
  {
    std::lock_guard<std::mutex> hold(lock_);
    anchor = anchor_;
  }
  return std::max(clock_.position_at(now, anchor), floor_);
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
  std::lock_guard<std::mutex> transport(transport_lock_);
  if (output_paused_) {  // paused: nothing is heard and the position does not move
    std::memset(out, 0, size_t(frames) * 2 * sizeof(int16_t));
    return;
  }
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

void MusicPlayer::pause() {
  if (paused_) return;
  held_ = seconds();
  paused_ = true;
  std::lock_guard<std::mutex> transport(transport_lock_);
  output_paused_ = true;
}

void MusicPlayer::resume() {
  if (!paused_) return;
  paused_ = false;
  // What the device still held when it paused is gone; the sound starts again where it stopped.
  seek(held_);
  std::lock_guard<std::mutex> transport(transport_lock_);
  output_paused_ = false;
}

void MusicPlayer::seek(double seconds) {
  // Beyond the end there is nothing to hear, and the length would then count what never played.
  const double length = length_seconds();
  if (length > 0.0) seconds = std::min(seconds, length);
  seconds = std::max(seconds, 0.0);
  if (audible_) {
    const long long frame = std::llround(seconds * OUTPUT_RATE);
    std::lock_guard<std::mutex> transport(transport_lock_);
    stream_.seek(frame);
    primed_used_ = primed_.size();  // the primed samples are the music's first, long passed
    music_over_ = false;
    std::lock_guard<std::mutex> hold(lock_);
    // The counters are in music frames from here on: what the device is handed next is heard as
    // the music from `seconds`. The anchors of before speak of the old place and go.
    device_frames_ = frame;
    music_frames_ = frame;
    anchor_ = AudioAnchor{};
  }
  clock_ = PlaybackClock{};
  if (started_ && !paused_) clock_.start(now_(), seconds);  // a device that stalls here runs free too
  floor_ = seconds;
  if (paused_ || !started_) held_ = seconds;
  start_time_ = now_() - seconds;  // the silent clock
}
