#include "app/offscreen_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "app/gl_entry_points.h"

namespace {

OffscreenGl* presenting = nullptr;  // the context present_offscreen_frame presents

FramebufferCalls fb{};

std::string egl_error(const char* what) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(eglGetError()));
  return std::string(what) + " failed (EGL error " + code + ")";
}

// Mesa's surfaceless platform needs no X server and no GPU; the default display is the fallback
// for drivers (and older loaders) that do not offer it.
EGLDisplay open_display() {
  auto get_platform_display =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  const char* client_extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (get_platform_display && client_extensions &&
      std::strstr(client_extensions, "EGL_MESA_platform_surfaceless")) {
    EGLDisplay display = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
  }
  EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
  if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
  return EGL_NO_DISPLAY;
}

}  // namespace

std::unique_ptr<OffscreenGl> OffscreenGl::create(int width, int height, std::string& error, Depth depth) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
    error = "offscreen GL: size " + std::to_string(width) + "x" + std::to_string(height) +
            " is outside 1..16384";
    return nullptr;
  }
  std::unique_ptr<OffscreenGl> gl(new OffscreenGl());
  if (!gl->open(width, height, depth, error)) return nullptr;
  return gl;
}

bool OffscreenGl::open(int width, int height, Depth depth, std::string& error) {
  width_ = width;
  height_ = height;
  EGLDisplay display = open_display();
  if (display == EGL_NO_DISPLAY) {
    error = egl_error("offscreen GL: opening an EGL display");
    return false;
  }
  display_ = display;
  if (!eglBindAPI(EGL_OPENGL_API)) {
    error = egl_error("offscreen GL: eglBindAPI(EGL_OPENGL_API)");
    return false;
  }
  const EGLint config_attributes[] = {
      EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
      EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
      EGL_NONE};
  EGLConfig config = nullptr;
  EGLint configs = 0;
  if (!eglChooseConfig(display, config_attributes, &config, 1, &configs) || configs < 1) {
    error = egl_error("offscreen GL: choosing an RGBA8 desktop-GL config");
    return false;
  }
  // No version asked for: the driver then gives its compatibility profile, where GL 1.1's
  // fixed-function pipeline and display lists still live.
  const EGLint context_attributes[] = {EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attributes);
  if (context == EGL_NO_CONTEXT) {
    error = egl_error("offscreen GL: creating a compatibility context");
    return false;
  }
  context_ = context;
  if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
    const EGLint pbuffer_attributes[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, pbuffer_attributes);
    if (surface == EGL_NO_SURFACE || !eglMakeCurrent(display, surface, surface, context)) {
      error = egl_error("offscreen GL: making the context current");
      return false;
    }
    surface_ = surface;
  }
  if (!fetch_framebuffer_calls(fb)) {
    error = "offscreen GL: the driver has no framebuffer objects";
    return false;
  }
  GLint max_size = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
  if (width > max_size || height > max_size) {
    error = "offscreen GL: " + std::to_string(width) + "x" + std::to_string(height) +
            " exceeds the driver's largest framebuffer (" + std::to_string(max_size) + ")";
    return false;
  }

  fb.gen_framebuffers(1, &framebuffer_);
  fb.bind_framebuffer(GL_FRAMEBUFFER, framebuffer_);
  fb.gen_renderbuffers(1, &colour_);
  fb.bind_renderbuffer(GL_RENDERBUFFER, colour_);
  fb.renderbuffer_storage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  fb.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
  if (depth == Depth::None) {
    if (fb.check_framebuffer_status(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      error = "offscreen GL: the framebuffer is incomplete";
      return false;
    }
  } else {
    // The window asks for 32 depth bits; drivers that cannot give them get the next best.
    fb.gen_renderbuffers(1, &depth_);
    fb.bind_renderbuffer(GL_RENDERBUFFER, depth_);
    for (const auto& [format, bits] : {std::pair{GL_DEPTH_COMPONENT32, 32}, std::pair{GL_DEPTH_COMPONENT24, 24},
                                       std::pair{GL_DEPTH_COMPONENT16, 16}}) {
      while (glGetError() != GL_NO_ERROR) {
      }
      fb.renderbuffer_storage(GL_RENDERBUFFER, format, width, height);
      if (glGetError() != GL_NO_ERROR) continue;
      fb.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
      if (fb.check_framebuffer_status(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
        depth_bits_ = bits;
        break;
      }
    }
    if (depth_bits_ == 0) {
      error = "offscreen GL: the framebuffer is incomplete with every depth format";
      return false;
    }
  }
  glViewport(0, 0, width, height);
  // Sized once, so that presenting a frame allocates nothing.
  front_.assign(static_cast<size_t>(width) * height * 4, 0);
  scratch_.assign(static_cast<size_t>(width) * 4, 0);
  presenting = this;
  return true;
}

OffscreenGl::~OffscreenGl() {
  if (presenting == this) presenting = nullptr;
  auto display = static_cast<EGLDisplay>(display_);
  if (!display) return;
  if (context_) {
    // Framebuffer objects belong to the context; make it current to release them cleanly.
    if (framebuffer_ && eglMakeCurrent(display, static_cast<EGLSurface>(surface_ ? surface_ : EGL_NO_SURFACE),
                                       static_cast<EGLSurface>(surface_ ? surface_ : EGL_NO_SURFACE),
                                       static_cast<EGLContext>(context_))) {
      fb.delete_framebuffers(1, &framebuffer_);
      fb.delete_renderbuffers(1, &colour_);
      if (depth_) fb.delete_renderbuffers(1, &depth_);
    }
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, static_cast<EGLContext>(context_));
  }
  if (surface_) eglDestroySurface(display, static_cast<EGLSurface>(surface_));
  // The display stays initialised: other contexts of this process may share it.
}

std::string OffscreenGl::renderer() const {
  const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return name ? name : "";
}

void OffscreenGl::make_current() {
  auto surface = static_cast<EGLSurface>(surface_ ? surface_ : EGL_NO_SURFACE);
  eglMakeCurrent(static_cast<EGLDisplay>(display_), surface, surface, static_cast<EGLContext>(context_));
  fb.bind_framebuffer(GL_FRAMEBUFFER, framebuffer_);
  presenting = this;
}

void OffscreenGl::present() {
  glFinish();
  read_framebuffer(front_);
  ++presented_;
}

std::vector<uint8_t> OffscreenGl::read_back() const {
  std::vector<uint8_t> pixels;
  read_framebuffer(pixels);
  return pixels;
}

void OffscreenGl::read_framebuffer(std::vector<uint8_t>& out) const {
  const size_t row_bytes = static_cast<size_t>(width_) * 4;
  out.resize(row_bytes * height_);
  // The show's own code may have changed the pack state; reading must not depend on it.
  GLint alignment = 4, row_length = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glGetIntegerv(GL_PACK_ROW_LENGTH, &row_length);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  fb.bind_framebuffer(GL_FRAMEBUFFER, framebuffer_);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  glPixelStorei(GL_PACK_ALIGNMENT, alignment);
  glPixelStorei(GL_PACK_ROW_LENGTH, row_length);
  // GL reads bottom row first; swap rows in place so that row 0 is the top of the picture.
  for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = out.data() + row_bytes * top;
    uint8_t* b = out.data() + row_bytes * bottom;
    std::memcpy(scratch_.data(), a, row_bytes);
    std::memcpy(a, b, row_bytes);
    std::memcpy(b, scratch_.data(), row_bytes);
  }
}

void present_offscreen_frame() {
  if (presenting) presenting->present();
}
