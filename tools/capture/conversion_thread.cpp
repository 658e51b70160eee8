#include "tools/capture/conversion_thread.h"

#include <pthread.h>

#include "tools/capture/capture_stats.h"
#include "tools/capture/yuv420.h"

ConversionThread::ConversionThread(int width, int height, std::function<bool(const uint8_t*, size_t)> write)
    : width_(width), height_(height), write_(std::move(write)), yuv_(yuv420_bytes(width, height)) {
  thread_ = std::thread([this] { run(); });
}

ConversionThread::~ConversionThread() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return pending_ == nullptr; });
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ConversionThread::convert(const uint8_t* rgba) {
  {
    std::lock_guard lock(mutex_);
    pending_ = rgba;
  }
  changed_.notify_all();
}

bool ConversionThread::wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return pending_ == nullptr; });
  return ok_;
}

void ConversionThread::run() {
  pthread_setname_np(pthread_self(), CONVERSION_THREAD_NAME);
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || pending_ != nullptr; });
    if (pending_ == nullptr) return;
    const uint8_t* rgba = pending_;
    const bool ok = ok_;
    lock.unlock();
    // After a failed write the frames are only let go: the drawing thread sees the failure at its
    // next wait and stops.
    bool written = false;
    if (ok) {
      rgba_bottom_up_to_yuv420(rgba, width_, height_, yuv_.data());
      written = write_(yuv_.data(), yuv_.size());
    }
    lock.lock();
    ok_ = ok_ && written;
    pending_ = nullptr;
    changed_.notify_all();
  }
}
