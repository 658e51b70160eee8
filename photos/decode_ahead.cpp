// The decode-ahead pool. One mutex guards the counters, the budget and the finished slots; a
// decode itself (and the look at a file's header for its estimate) runs outside the lock. A slot
// is emptied when taken, so the memory held is that of the photos between the one being
// uploaded and the window's end, and never more than the budget allows.
#include "photos/decode_ahead.h"

#include <algorithm>

DecodeAhead::DecodeAhead(size_t jobs, Decode decode, int workers, int ahead, size_t budget_bytes, Estimate estimate,
                         std::vector<size_t> first)
    : jobs_(jobs),
      decode_(std::move(decode)),
      ahead_(static_cast<size_t>(std::max(ahead, 1))),
      budget_(budget_bytes),
      estimate_(std::move(estimate)),
      early_(jobs, false),
      done_(jobs) {
  for (size_t job : first)
    if (job < jobs && !early_[job]) {
      early_[job] = true;
      order_.push_back(job);
    }
  for (size_t job = 0; job < jobs; ++job)
    if (!early_[job]) order_.push_back(job);
  const int n = std::clamp(workers, 1, MAX_WORKERS);
  threads_.reserve(size_t(n));
  for (int i = 0; i < n; ++i) {
    try {
      threads_.emplace_back([this] { work(); });
    } catch (const std::exception&) {
      break;  // a thread limit (containers, ulimit): go on with the workers that started
    }
  }
}

DecodeAhead::~DecodeAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : threads_) t.join();
}

size_t DecodeAhead::estimate_of(size_t job) const {
  if (!estimate_) return 0;
  try {
    return estimate_(job);
  } catch (...) {
    return 0;  // no estimate: the largest result so far stands in
  }
}

void DecodeAhead::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      return stopping_ || next_ >= jobs_ || early_[order_[next_]] || order_[next_] < taken_ + ahead_;
    });
    if (stopping_ || next_ >= jobs_) return;
    const size_t place = next_++;
    const size_t job = order_[place];
    lock.unlock();
    const size_t estimate = estimate_of(job);
    lock.lock();

    // Rooms are reserved in start order. Were a later job to hold room that an earlier one waits
    // for, neither could go on: results are taken in order, so the later one's is never taken.
    // In order, the job the owner waits for is the first without room, and once the owner has
    // let go of the photo before it nothing is held but what the `first` jobs hold, which admits
    // any job.
    size_t room = 0;
    changed_.wait(lock, [&] {
      if (stopping_) return true;
      if (reserving_ != place) return false;
      room = estimate > 0 ? estimate : largest_;
      return held_ == early_held_ || (held_ <= budget_ && room <= budget_ - held_);
    });
    if (stopping_) return;
    held_ += room;
    if (early_[job]) early_held_ += room;
    ++reserving_;
    changed_.notify_all();
    lock.unlock();

    TextureImage image;
    try {
      image = decode_(job);
    } catch (...) {
      image = TextureImage{};  // e.g. no memory for a huge picture: that photo stays unloaded
    }
    lock.lock();
    const size_t bytes = image.pixels.size();
    held_ = held_ - room + bytes;  // beyond the room only when there was no estimate
    if (early_[job]) early_held_ = early_held_ - room + bytes;
    largest_ = std::max(largest_, bytes);
    done_[job] = std::move(image);
    changed_.notify_all();
  }
}

TextureImage DecodeAhead::take(size_t job) {
  if (threads_.empty()) return take_here(job);
  std::unique_lock<std::mutex> lock(mutex_);
  if (job >= jobs_ || job != taken_) return TextureImage{};  // out of order: a caller's mistake
  // The result taken before this one has been uploaded and freed: its bytes are free again,
  // before waiting, since the job waited for may itself be waiting for them.
  held_ -= in_hand_;
  in_hand_ = 0;
  changed_.notify_all();
  changed_.wait(lock, [&] { return done_[job].has_value(); });
  TextureImage image = std::move(*done_[job]);
  done_[job].reset();
  taken_ = job + 1;
  in_hand_ = image.pixels.size();
  if (early_[job]) early_held_ -= in_hand_;  // from now on held as the photo in hand
  lock.unlock();
  changed_.notify_all();
  return image;
}

TextureImage DecodeAhead::take_here(size_t job) {
  if (job >= jobs_ || job != taken_) return TextureImage{};
  taken_ = job + 1;
  try {
    return decode_(job);
  } catch (...) {
    return TextureImage{};
  }
}
