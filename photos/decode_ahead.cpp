// The decode-ahead pool. One mutex guards the counters and the finished slots; a decode itself
// runs outside the lock. A slot is emptied when taken, so the memory held is that of the photos
// between the one being uploaded and the window's end.
#include "photos/decode_ahead.h"

#include <algorithm>

DecodeAhead::DecodeAhead(size_t jobs, Decode decode, int workers, int ahead)
    : jobs_(jobs), decode_(std::move(decode)), ahead_(static_cast<size_t>(std::max(ahead, 1))), done_(jobs) {
  int n = std::max(workers, 1);
  threads_.reserve(n);
  for (int i = 0; i < n; ++i) threads_.emplace_back([this] { work(); });
}

DecodeAhead::~DecodeAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void DecodeAhead::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || next_ >= jobs_ || next_ < taken_ + ahead_; });
    if (stopping_ || next_ >= jobs_) return;
    size_t job = next_++;
    lock.unlock();
    TextureImage image;
    try {
      image = decode_(job);
    } catch (...) {
      image = TextureImage{};  // e.g. no memory for a huge picture: that photo stays unloaded
    }
    lock.lock();
    done_[job] = std::move(image);
    changed_.notify_all();
  }
}

TextureImage DecodeAhead::take(size_t job) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (job >= jobs_ || job != taken_) return TextureImage{};  // out of order: a caller's mistake
  changed_.wait(lock, [&] { return done_[job].has_value(); });
  TextureImage image = std::move(*done_[job]);
  done_[job].reset();
  taken_ = job + 1;
  lock.unlock();
  changed_.notify_all();
  return image;
}
