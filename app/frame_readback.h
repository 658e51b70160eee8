#pragma once
// Frames read back from the GL framebuffer without waiting for them: each read goes into a pixel
// buffer object of its own and is mapped later, so the driver finishes drawing and copying one
// frame while the next is drawn (on a GPU the copy is done by the GPU; on llvmpipe it at least
// spares a copy through a client buffer). Pixels are RGBA, bottom row first, as GL reads them.
//
// The framebuffer read is the one bound when a read starts. The pixel pack state and buffer
// binding are restored after every call, so the drawing code never sees a buffer bound.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FrameReadback {
 public:
  // `buffers` reads may be in flight at once. Null, with `error`, when the context has no pixel
  // buffer objects. GL thread, context current.
  static std::unique_ptr<FrameReadback> create(int width, int height, int buffers, std::string& error);
  ~FrameReadback();  // GL thread, context current
  FrameReadback(const FrameReadback&) = delete;
  FrameReadback& operator=(const FrameReadback&) = delete;

  int buffers() const { return static_cast<int>(names_.size()); }
  int in_flight() const { return count_; }
  size_t frame_bytes() const { return bytes_; }

  // Starts reading the bound framebuffer into the next free buffer. False when all are in flight.
  bool start();
  // The oldest read, waited for and mapped (nullptr if none is in flight or it cannot be mapped).
  // Its pixels stay valid, and may be read on any thread, until release().
  const uint8_t* map_oldest();
  // Unmaps the oldest read and frees its buffer for the next start.
  void release_oldest();

 private:
  FrameReadback() = default;
  int width_ = 0, height_ = 0;
  size_t bytes_ = 0;
  std::vector<uint32_t> names_;
  int first_ = 0, count_ = 0;  // the oldest read in flight, and how many are
  bool mapped_ = false;
};
