#pragma once
// GL calls past 1.1 (buffer objects, framebuffer objects and blits), which the GL library does not
// export: fetched through EGL, as the offscreen context's users need them.
#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glext.h>

// `fn` set to the driver's entry point `name`; false when the driver has none.
template <typename F>
bool fetch_gl_call(F& fn, const char* name) {
  fn = reinterpret_cast<F>(eglGetProcAddress(name));
  return fn != nullptr;
}

struct FramebufferCalls {
  PFNGLGENFRAMEBUFFERSPROC gen_framebuffers = nullptr;
  PFNGLDELETEFRAMEBUFFERSPROC delete_framebuffers = nullptr;
  PFNGLBINDFRAMEBUFFERPROC bind_framebuffer = nullptr;
  PFNGLGENRENDERBUFFERSPROC gen_renderbuffers = nullptr;
  PFNGLDELETERENDERBUFFERSPROC delete_renderbuffers = nullptr;
  PFNGLBINDRENDERBUFFERPROC bind_renderbuffer = nullptr;
  PFNGLRENDERBUFFERSTORAGEPROC renderbuffer_storage = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC framebuffer_renderbuffer = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status = nullptr;
  PFNGLBLITFRAMEBUFFERPROC blit_framebuffer = nullptr;  // may be missing where the rest are there
};

// Framebuffer objects are GL 3.0 (or ARB_framebuffer_object). False when any call but the blit is
// missing.
inline bool fetch_framebuffer_calls(FramebufferCalls& fb) {
  fetch_gl_call(fb.blit_framebuffer, "glBlitFramebuffer");
  return fetch_gl_call(fb.gen_framebuffers, "glGenFramebuffers") &&
         fetch_gl_call(fb.delete_framebuffers, "glDeleteFramebuffers") &&
         fetch_gl_call(fb.bind_framebuffer, "glBindFramebuffer") &&
         fetch_gl_call(fb.gen_renderbuffers, "glGenRenderbuffers") &&
         fetch_gl_call(fb.delete_renderbuffers, "glDeleteRenderbuffers") &&
         fetch_gl_call(fb.bind_renderbuffer, "glBindRenderbuffer") &&
         fetch_gl_call(fb.renderbuffer_storage, "glRenderbufferStorage") &&
         fetch_gl_call(fb.framebuffer_renderbuffer, "glFramebufferRenderbuffer") &&
         fetch_gl_call(fb.check_framebuffer_status, "glCheckFramebufferStatus");
}

// Buffer objects are GL 1.5, the mapping of a range GL 3.0.
struct BufferCalls {
  PFNGLGENBUFFERSPROC gen_buffers = nullptr;
  PFNGLDELETEBUFFERSPROC delete_buffers = nullptr;
  PFNGLBINDBUFFERPROC bind_buffer = nullptr;
  PFNGLBUFFERDATAPROC buffer_data = nullptr;
  PFNGLMAPBUFFERRANGEPROC map_buffer_range = nullptr;
  PFNGLUNMAPBUFFERPROC unmap_buffer = nullptr;
};

// False when any of them is missing.
inline bool fetch_buffer_calls(BufferCalls& gl) {
  return fetch_gl_call(gl.gen_buffers, "glGenBuffers") && fetch_gl_call(gl.delete_buffers, "glDeleteBuffers") &&
         fetch_gl_call(gl.bind_buffer, "glBindBuffer") && fetch_gl_call(gl.buffer_data, "glBufferData") &&
         fetch_gl_call(gl.map_buffer_range, "glMapBufferRange") && fetch_gl_call(gl.unmap_buffer, "glUnmapBuffer");
}
