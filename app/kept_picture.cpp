#include "app/kept_picture.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include "app/gl_entry_points.h"

namespace {

FramebufferCalls gl{};

GLuint bound(GLenum binding) {
  GLint name = 0;
  glGetIntegerv(binding, &name);
  return GLuint(name);
}

}  // namespace

std::unique_ptr<KeptPicture> KeptPicture::create(int width, int height, std::string& error) {
  if (!fetch_framebuffer_calls(gl) || !gl.blit_framebuffer) {
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
