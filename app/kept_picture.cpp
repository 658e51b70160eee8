#include "app/kept_picture.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glext.h>

namespace {

// Framebuffer objects and blits are GL 3.0: fetched through EGL, as offscreen_gl fetches them.
struct Calls {
  PFNGLGENFRAMEBUFFERSPROC gen_framebuffers;
  PFNGLDELETEFRAMEBUFFERSPROC delete_framebuffers;
  PFNGLBINDFRAMEBUFFERPROC bind_framebuffer;
  PFNGLGENRENDERBUFFERSPROC gen_renderbuffers;
  PFNGLDELETERENDERBUFFERSPROC delete_renderbuffers;
  PFNGLBINDRENDERBUFFERPROC bind_renderbuffer;
  PFNGLRENDERBUFFERSTORAGEPROC renderbuffer_storage;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC framebuffer_renderbuffer;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status;
  PFNGLBLITFRAMEBUFFERPROC blit_framebuffer;
};
Calls gl{};

template <typename F>
bool fetch(F& fn, const char* name) {
  fn = reinterpret_cast<F>(eglGetProcAddress(name));
  return fn != nullptr;
}

bool fetch_calls() {
  return fetch(gl.gen_framebuffers, "glGenFramebuffers") && fetch(gl.delete_framebuffers, "glDeleteFramebuffers") &&
         fetch(gl.bind_framebuffer, "glBindFramebuffer") && fetch(gl.gen_renderbuffers, "glGenRenderbuffers") &&
         fetch(gl.delete_renderbuffers, "glDeleteRenderbuffers") && fetch(gl.bind_renderbuffer, "glBindRenderbuffer") &&
         fetch(gl.renderbuffer_storage, "glRenderbufferStorage") &&
         fetch(gl.framebuffer_renderbuffer, "glFramebufferRenderbuffer") &&
         fetch(gl.check_framebuffer_status, "glCheckFramebufferStatus") &&
         fetch(gl.blit_framebuffer, "glBlitFramebuffer");
}

GLuint bound(GLenum binding) {
  GLint name = 0;
  glGetIntegerv(binding, &name);
  return GLuint(name);
}

}  // namespace

std::unique_ptr<KeptPicture> KeptPicture::create(int width, int height, std::string& error) {
  if (!fetch_calls()) {
    error = "kept picture: the driver has no framebuffer blits";
    return nullptr;
  }
  std::unique_ptr<KeptPicture> kept(new KeptPicture());
  kept->width_ = width;
  kept->height_ = height;
  const GLuint draw = bound(GL_DRAW_FRAMEBUFFER_BINDING), renderbuffer = bound(GL_RENDERBUFFER_BINDING);
  gl.gen_framebuffers(1, &kept->framebuffer_);
  gl.gen_renderbuffers(1, &kept->colour_);
  gl.bind_renderbuffer(GL_RENDERBUFFER, kept->colour_);
  gl.renderbuffer_storage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  gl.bind_framebuffer(GL_DRAW_FRAMEBUFFER, kept->framebuffer_);
  gl.framebuffer_renderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, kept->colour_);
  const bool complete = gl.check_framebuffer_status(GL_DRAW_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  gl.bind_framebuffer(GL_DRAW_FRAMEBUFFER, draw);
  gl.bind_renderbuffer(GL_RENDERBUFFER, renderbuffer);
  if (!complete) {
    error = "kept picture: the framebuffer is incomplete";
    return nullptr;
  }
  return kept;
}

KeptPicture::~KeptPicture() {
  if (framebuffer_) gl.delete_framebuffers(1, &framebuffer_);
  if (colour_) gl.delete_renderbuffers(1, &colour_);
}

void KeptPicture::blit(uint32_t from, uint32_t to) {
  const GLuint read = bound(GL_READ_FRAMEBUFFER_BINDING), draw = bound(GL_DRAW_FRAMEBUFFER_BINDING);
  gl.bind_framebuffer(GL_READ_FRAMEBUFFER, from);
  gl.bind_framebuffer(GL_DRAW_FRAMEBUFFER, to);
  // A blit passes no fragment operation but the scissor test: none may cut it short.
  const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
  glDisable(GL_SCISSOR_TEST);
  gl.blit_framebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  if (scissor) glEnable(GL_SCISSOR_TEST);
  gl.bind_framebuffer(GL_READ_FRAMEBUFFER, read);
  gl.bind_framebuffer(GL_DRAW_FRAMEBUFFER, draw);
}

void KeptPicture::keep() { blit(bound(GL_DRAW_FRAMEBUFFER_BINDING), framebuffer_); }

void KeptPicture::put_back() { blit(framebuffer_, bound(GL_DRAW_FRAMEBUFFER_BINDING)); }
