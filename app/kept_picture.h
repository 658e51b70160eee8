#pragma once
// A copy of the bound framebuffer's colour, kept in a renderbuffer of its own and put back later
// exactly: both ways a blit of the same size, which copies the bytes as they are (no blending,
// no filtering). For a capture, whose frames may start from the same background.
#include <cstdint>
#include <memory>
#include <string>

class KeptPicture {
 public:
  // Null, with `error`, when the context cannot give one. GL thread, context current.
  static std::unique_ptr<KeptPicture> create(int width, int height, std::string& error);
  ~KeptPicture();  // GL thread, context current
  KeptPicture(const KeptPicture&) = delete;
  KeptPicture& operator=(const KeptPicture&) = delete;

  // The colour of the framebuffer bound for drawing becomes the copy.
  void keep();
  // The copy becomes the colour of the framebuffer bound for drawing.
  void put_back();

 private:
  KeptPicture() = default;
  void blit(uint32_t from, uint32_t to);
  int width_ = 0, height_ = 0;
  uint32_t framebuffer_ = 0, colour_ = 0;
};
