#pragma once
// A GL context without a window: EGL on Mesa's surfaceless platform (software llvmpipe when there
// is no GPU, the hardware driver when there is one), or on the default display with a tiny pbuffer
// when surfaceless is not offered. The picture goes to a framebuffer object of the requested size
// (RGBA8 colour, the deepest depth buffer the driver gives, 32 bits or 24, or none when asked: the
// show's frames never test depth, and clearing a buffer nobody reads costs a capture time).
//
// The context is a compatibility one, so the show's fixed-function GL 1.1 drawing and display lists
// work as they do in the window. Presenting a frame (present_offscreen_frame, the function that
// set_swap_function installs) finishes the GL work and copies the framebuffer into a "front" pixel
// buffer, and counts the frame: a drawn frame and a presented one can be told apart.
//
// Pixels are handed out as RGBA bytes, top row first (as a PNG stores them), the opposite of GL's
// own bottom-up order.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class OffscreenGl {
 public:
  enum class Depth { Deepest, None };
  // Makes a width × height context current on this thread and its framebuffer the render target;
  // also makes it the one present_offscreen_frame presents. Null, with `error` set, on failure.
  static std::unique_ptr<OffscreenGl> create(int width, int height, std::string& error,
                                             Depth depth = Depth::Deepest);
  ~OffscreenGl();
  OffscreenGl(const OffscreenGl&) = delete;
  OffscreenGl& operator=(const OffscreenGl&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  int depth_bits() const { return depth_bits_; }  // 0 without a depth buffer
  std::string renderer() const;  // GL_RENDERER, e.g. "llvmpipe (LLVM 15.0.6, 256 bits)"

  // Makes this context (and its framebuffer) current again, and the one that is presented.
  void make_current();

  // glFinish, then the framebuffer's content becomes the front buffer; counts the frame.
  void present();
  uint64_t presented_frames() const { return presented_; }
  // The last presented frame (all zero before the first), RGBA top row first.
  const std::vector<uint8_t>& front() const { return front_; }
  // What has been drawn so far, presented or not, RGBA top row first.
  std::vector<uint8_t> read_back() const;

 private:
  OffscreenGl() = default;
  bool open(int width, int height, Depth depth, std::string& error);
  void read_framebuffer(std::vector<uint8_t>& out) const;

  int width_ = 0, height_ = 0, depth_bits_ = 0;
  void* display_ = nullptr;  // EGLDisplay
  void* context_ = nullptr;  // EGLContext
  void* surface_ = nullptr;  // EGLSurface: the pbuffer when surfaceless is not offered
  uint32_t framebuffer_ = 0, colour_ = 0, depth_ = 0;
  uint64_t presented_ = 0;
  std::vector<uint8_t> front_;
  mutable std::vector<uint8_t> scratch_;  // one row, for turning GL's bottom-up rows over
};

// Presents the current OffscreenGl's frame; does nothing when there is none. A SwapFunction.
void present_offscreen_frame();
