#include "app/frame_readback.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <type_traits>

#include "app/gl_entry_points.h"

static_assert(std::is_same_v<GLuint, uint32_t>, "buffer names are kept as uint32_t");

namespace {

BufferCalls gl{};

// The pack buffer bound while `use` runs, the one bound before restored after.
template <typename Use>
void with_pack_buffer(uint32_t name, Use use) {
  GLint before = 0;
  glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &before);
  gl.bind_buffer(GL_PIXEL_PACK_BUFFER, name);
  use();
  gl.bind_buffer(GL_PIXEL_PACK_BUFFER, GLuint(before));
}

}  // namespace

std::unique_ptr<FrameReadback> FrameReadback::create(int width, int height, int buffers, std::string& error) {
  if (width <= 0 || height <= 0 || buffers < 1) {
    error = "frame read-back: no frame to read";
    return nullptr;
  }
  if (!fetch_buffer_calls(gl)) {
    error = "frame read-back: the driver has no pixel buffer objects";
    return nullptr;
  }
  std::unique_ptr<FrameReadback> readback(new FrameReadback());
  readback->width_ = width;
  readback->height_ = height;
  readback->bytes_ = size_t(width) * size_t(height) * 4;
  readback->names_.resize(size_t(buffers));
  gl.gen_buffers(buffers, readback->names_.data());
  for (uint32_t name : readback->names_)
    with_pack_buffer(name, [&] { gl.buffer_data(GL_PIXEL_PACK_BUFFER, GLsizeiptr(readback->bytes_), nullptr, GL_STREAM_READ); });
  if (glGetError() != GL_NO_ERROR) {
    error = "frame read-back: the driver cannot make " + std::to_string(buffers) + " buffers of " +
            std::to_string(readback->bytes_) + " bytes";
    return nullptr;
  }
  return readback;
}

FrameReadback::~FrameReadback() {
  if (mapped_) release_oldest();
  if (!names_.empty()) gl.delete_buffers(GLsizei(names_.size()), names_.data());
}

bool FrameReadback::start() {
  if (count_ == buffers()) return false;
  const uint32_t name = names_[size_t((first_ + count_) % buffers())];
  with_pack_buffer(name, [&] {
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_PACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_PACK_LSB_FIRST, GL_FALSE);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glPopClientAttrib();
  });
  ++count_;
  return true;
}

const uint8_t* FrameReadback::map_oldest() {
  if (count_ == 0) return nullptr;
  const void* pixels = nullptr;
  with_pack_buffer(names_[size_t(first_)], [&] {
    pixels = gl.map_buffer_range(GL_PIXEL_PACK_BUFFER, 0, GLsizeiptr(bytes_), GL_MAP_READ_BIT);
  });
  mapped_ = pixels != nullptr;
  return static_cast<const uint8_t*>(pixels);
}

void FrameReadback::release_oldest() {
  if (count_ == 0) return;
  if (mapped_) with_pack_buffer(names_[size_t(first_)], [&] { gl.unmap_buffer(GL_PIXEL_PACK_BUFFER); });
  mapped_ = false;
  first_ = (first_ + 1) % buffers();
  --count_;
}
