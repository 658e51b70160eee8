// How an open photo should reach the GL while the show draws: three ways measured in one run, each
// against frames that upload nothing.
//   strips  the render thread copies at most 4 MiB a frame with glTexSubImage2D from the decoded
//           pixels (what the show does);
//   pbo     the same strips through a pixel buffer: mapped, filled, unmapped, then glTexSubImage2D
//           from the buffer;
//   shared  a worker thread with a context sharing the render thread's textures uploads each photo
//           whole, fences and flushes; the render thread only polls the fence (timeout 0).
// A frame draws a 1080p photo over the whole 1920 × 1080 framebuffer and ends with glFinish, as a
// swap would. A new photo, 1920 × 1280 with its mip levels (13.1 MB, the size an open photo gets at
// 1080p), arrives every ARRIVAL_FRAMES frames, far more often than any show changes photos.
// Prints, per way, the render thread's upload time a frame (p50, p99, max), the frame time (p50,
// p99) and how many frames a photo took from arrival to drawable. Pixel content does not change a
// copy's speed, so the photos are a fixed pattern.
//   open_photo_upload_bench [FRAMES]   (default 480 a way)
#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/gl_entry_points.h"
#include "app/offscreen_gl.h"

namespace {

constexpr int SCREEN_W = 1920, SCREEN_H = 1080;
constexpr int PHOTO_W = 1920, PHOTO_H = 1280;
constexpr uint64_t STRIP_BYTES = 4u << 20;  // the show's per-frame upload budget
constexpr int ARRIVAL_FRAMES = 12;

using Clock = std::chrono::steady_clock;
double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "open_photo_upload_bench: %s (EGL 0x%04x, GL 0x%04x)\n", what, unsigned(eglGetError()),
               unsigned(glGetError()));
  std::exit(1);
}

// Fences are GL 3.2.
struct SyncCalls {
  PFNGLFENCESYNCPROC fence = nullptr;
  PFNGLCLIENTWAITSYNCPROC wait = nullptr;
  PFNGLDELETESYNCPROC delete_sync = nullptr;
};

// The render thread's context (the offscreen one, current) and what a worker needs to share it.
struct Egl {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLConfig config = nullptr;
  EGLContext render = EGL_NO_CONTEXT;

  void take_current() {
    display = eglGetCurrentDisplay();
    render = eglGetCurrentContext();
    EGLint id = 0, configs = 0;
    eglQueryContext(display, render, EGL_CONFIG_ID, &id);
    const EGLint by_id[] = {EGL_CONFIG_ID, id, EGL_NONE};
    if (!eglChooseConfig(display, by_id, &config, 1, &configs) || configs < 1) fail("no config to share");
  }
  EGLContext context(EGLContext share) const {
    const EGLint none[] = {EGL_NONE};
    EGLContext c = eglCreateContext(display, config, share, none);
    if (c == EGL_NO_CONTEXT) fail("no context");
    return c;
  }
};

// A photo's pixels and mip levels, as the decoders hand them over.
struct Photo {
  std::vector<std::vector<uint8_t>> levels;
  std::vector<int> widths, heights;
};

Photo make_photo() {
  Photo p;
  for (int w = PHOTO_W, h = PHOTO_H;; w = std::max(1, w / 2), h = std::max(1, h / 2)) {
    std::vector<uint8_t> level(size_t(w) * h * 4);
    for (size_t i = 0; i < level.size(); ++i) level[i] = uint8_t(i * 7 + i / 4099);
    p.levels.push_back(std::move(level));
    p.widths.push_back(w);
    p.heights.push_back(h);
    if (w == 1 && h == 1) break;
  }
  return p;
}

GLuint make_texture(const Photo& p) {
  GLuint t = 0;
  glGenTextures(1, &t);
  glBindTexture(GL_TEXTURE_2D, t);
  for (size_t l = 0; l < p.levels.size(); ++l)
    glTexImage2D(GL_TEXTURE_2D, GLint(l), GL_RGBA8, p.widths[l], p.heights[l], 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  return t;
}

// Where a photo's upload has got to, strip by strip.
struct Progress {
  size_t level = 0;
  int row = 0;
  bool done(const Photo& p) const { return level == p.levels.size(); }
};

enum class Way { None, Strips, Pbo, Shared };
const char* way_name(Way w) {
  switch (w) {
    case Way::None: return "none";
    case Way::Strips: return "strips";
    case Way::Pbo: return "pbo";
    case Way::Shared: return "shared";
  }
  return "?";
}

struct Figures {
  std::vector<double> upload_ms, frame_ms;
  std::vector<int> latency_frames;
  int photos = 0;
};

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

class Bench {
 public:
  Bench(Egl& egl, const BufferCalls& buffers, const SyncCalls& sync)
      : egl_(egl), buffers_(buffers), sync_(sync), photo_(make_photo()) {
    glViewport(0, 0, SCREEN_W, SCREEN_H);
    shown_ = make_texture(photo_);
    upload_whole(shown_);
    targets_[0] = make_texture(photo_);
    targets_[1] = make_texture(photo_);
    buffers_.gen_buffers(1, &pbo_);
    glFinish();
  }

  uint64_t photo_bytes() const {
    uint64_t n = 0;
    for (const auto& l : photo_.levels) n += l.size();
    return n;
  }

  Figures run(Way way, int frames) {
    Figures f;
    std::thread worker;
    if (way == Way::Shared) worker = std::thread([this] { upload_thread(); });
    int arrived_at = -1;  // the frame the photo in flight arrived at, -1 when none is
    Progress progress;
    GLsync fence = nullptr;
    int target = 0;
    for (int frame = 0; frame < frames; ++frame) {
      const Clock::time_point start = Clock::now();
      if (way != Way::None && arrived_at < 0 && frame % ARRIVAL_FRAMES == 0) {
        arrived_at = frame;
        progress = {};
        if (way == Way::Shared) hand_to_worker(targets_[target]);
      }
      bool ready = false;
      if (arrived_at >= 0) {
        glBindTexture(GL_TEXTURE_2D, targets_[target]);
        if (way == Way::Strips || way == Way::Pbo) {
          upload_strips(progress, way == Way::Pbo);
          ready = progress.done(photo_);
        } else if (way == Way::Shared) {
          if (!fence) fence = take_fence();
          if (fence && sync_.wait(fence, 0, 0) != GL_TIMEOUT_EXPIRED) {
            sync_.delete_sync(fence);
            fence = nullptr;
            ready = true;
          }
        }
      }
      f.upload_ms.push_back(ms_since(start));
      draw(ready ? targets_[target] : shown_);
      glFinish();
      f.frame_ms.push_back(ms_since(start));
      if (ready) {
        f.latency_frames.push_back(frame - arrived_at + 1);
        ++f.photos;
        arrived_at = -1;
        target ^= 1;  // the photo just drawn stays untouched while the next one fills the other
      }
    }
    if (worker.joinable()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
      }
      wake_.notify_all();
      worker.join();
      stop_ = false;
    }
    if (fence) sync_.delete_sync(fence);
    return f;
  }

 private:
  void upload_whole(GLuint texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    for (size_t l = 0; l < photo_.levels.size(); ++l)
      glTexSubImage2D(GL_TEXTURE_2D, GLint(l), 0, 0, photo_.widths[l], photo_.heights[l], GL_RGBA, GL_UNSIGNED_BYTE,
                      photo_.levels[l].data());
  }

  void upload_strips(Progress& p, bool through_buffer) {
    uint64_t budget = STRIP_BYTES;
    while (!p.done(photo_) && budget > 0) {
      const int w = photo_.widths[p.level], h = photo_.heights[p.level];
      const uint64_t row_bytes = uint64_t(w) * 4;
      const int rows = int(std::min<uint64_t>(uint64_t(h - p.row), std::max<uint64_t>(1, budget / row_bytes)));
      const uint8_t* pixels = photo_.levels[p.level].data() + uint64_t(p.row) * row_bytes;
      const uint64_t bytes = uint64_t(rows) * row_bytes;
      if (through_buffer) {
        buffers_.bind_buffer(GL_PIXEL_UNPACK_BUFFER, pbo_);
        buffers_.buffer_data(GL_PIXEL_UNPACK_BUFFER, GLsizeiptr(bytes), nullptr, GL_STREAM_DRAW);  // orphaned: never waits
        void* mapped = buffers_.map_buffer_range(GL_PIXEL_UNPACK_BUFFER, 0, GLsizeiptr(bytes),
                               GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
        if (!mapped) fail("glMapBufferRange");
        std::memcpy(mapped, pixels, bytes);
        buffers_.unmap_buffer(GL_PIXEL_UNPACK_BUFFER);
        glTexSubImage2D(GL_TEXTURE_2D, GLint(p.level), 0, p.row, w, rows, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        buffers_.bind_buffer(GL_PIXEL_UNPACK_BUFFER, 0);
      } else {
        glTexSubImage2D(GL_TEXTURE_2D, GLint(p.level), 0, p.row, w, rows, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
      }
      budget -= std::min(budget, bytes);
      p.row += rows;
      if (p.row == h) ++p.level, p.row = 0;
    }
  }

  void draw(GLuint texture) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2f(-1, -1);
    glTexCoord2f(1, 0), glVertex2f(1, -1);
    glTexCoord2f(1, 1), glVertex2f(1, 1);
    glTexCoord2f(0, 1), glVertex2f(-1, 1);
    glEnd();
  }

  void hand_to_worker(GLuint texture) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = texture;
    }
    wake_.notify_all();
  }

  GLsync take_fence() {
    std::lock_guard<std::mutex> lock(mutex_);
    GLsync f = done_;
    done_ = nullptr;
    return f;
  }

  void upload_thread() {
    if (!eglBindAPI(EGL_OPENGL_API)) fail("no desktop GL on the worker");  // the API is per thread
    const EGLContext own = egl_.context(egl_.render);
    if (!eglMakeCurrent(egl_.display, EGL_NO_SURFACE, EGL_NO_SURFACE, own)) fail("no shared context");
    for (;;) {
      GLuint texture = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || job_ != 0; });
        if (stop_) break;
        texture = job_;
        job_ = 0;
      }
      upload_whole(texture);
      GLsync fence = sync_.fence(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
      if (!fence) fail("glFenceSync on the worker");
      glFlush();
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = fence;
    }
    eglMakeCurrent(egl_.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(egl_.display, own);
  }

  Egl& egl_;
  const BufferCalls& buffers_;
  const SyncCalls& sync_;
  Photo photo_;
  GLuint shown_ = 0, targets_[2] = {}, pbo_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  GLuint job_ = 0;
  GLsync done_ = nullptr;
  bool stop_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 480;
  if (frames < ARRIVAL_FRAMES) {
    std::fprintf(stderr, "usage: open_photo_upload_bench [FRAMES, at least %d]\n", ARRIVAL_FRAMES);
    return 2;
  }
  std::string error;
  const std::unique_ptr<OffscreenGl> screen = OffscreenGl::create(SCREEN_W, SCREEN_H, error, OffscreenGl::Depth::None);
  if (!screen) {
    std::fprintf(stderr, "open_photo_upload_bench: %s\n", error.c_str());
    return 1;
  }
  Egl egl;
  egl.take_current();
  BufferCalls buffers;
  SyncCalls sync;
  if (!fetch_buffer_calls(buffers) || !fetch_gl_call(sync.fence, "glFenceSync") ||
      !fetch_gl_call(sync.wait, "glClientWaitSync") || !fetch_gl_call(sync.delete_sync, "glDeleteSync"))
    fail("the driver lacks buffer objects or fences");
  Bench bench(egl, buffers, sync);
  std::printf("renderer: %s; %d frames a way at %dx%d, a %dx%d photo with mips (%.1f MB) every %d frames\n",
              reinterpret_cast<const char*>(glGetString(GL_RENDERER)), frames, SCREEN_W, SCREEN_H, PHOTO_W, PHOTO_H,
              double(bench.photo_bytes()) / 1e6, ARRIVAL_FRAMES);
  std::printf("%-7s %8s %8s %8s %9s %9s %7s %12s\n", "way", "up p50", "up p99", "up max", "frame p50", "frame p99",
              "photos", "frames/photo");
  for (Way way : {Way::None, Way::Strips, Way::Pbo, Way::Shared}) {
    bench.run(way, ARRIVAL_FRAMES * 2);  // warm: first touches of the textures and buffers
    const Figures f = bench.run(way, frames);
    double latency = 0;
    for (int l : f.latency_frames) latency += l;
    std::printf("%-7s %8.2f %8.2f %8.2f %9.2f %9.2f %7d %12.1f\n", way_name(way), percentile(f.upload_ms, 0.5),
                percentile(f.upload_ms, 0.99), percentile(f.upload_ms, 1.0), percentile(f.frame_ms, 0.5),
                percentile(f.frame_ms, 0.99), f.photos, f.photos ? latency / f.photos : 0.0);
  }
  return 0;
}
