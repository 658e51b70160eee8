#pragma once
// The thread that turns read-back frames into I420 and hands them to the video output, so that
// the drawing thread draws the next frame meanwhile. One frame at a time: a frame is handed over,
// and the drawing thread waits for it before it reuses the frame's memory.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ConversionThread {
 public:
  // `write` takes each converted frame (I420, yuv420_bytes of it) and says whether it was written.
  ConversionThread(int width, int height, std::function<bool(const uint8_t*, size_t)> write);
  ~ConversionThread();  // waits for the frame under way
  ConversionThread(const ConversionThread&) = delete;
  ConversionThread& operator=(const ConversionThread&) = delete;

  // Hands over RGBA pixels, bottom row first, which must stay as they are until wait() returns.
  // Returns at once; the frame before must have been waited for.
  void convert(const uint8_t* rgba);
  // Waits until the frame handed over is converted and written. False once a write has failed.
  bool wait();

 private:
  void run();

  int width_, height_;
  std::function<bool(const uint8_t*, size_t)> write_;
  std::vector<uint8_t> yuv_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const uint8_t* pending_ = nullptr;  // handed over and not yet done
  bool ok_ = true, stopping_ = false;
  std::thread thread_;
};
