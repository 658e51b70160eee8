#pragma once
// Frames that show the backdrop start from the background kept from the first of them. Drawing the
// backdrop (photo 17 over the whole picture, from its 4096 × 4096 texture) costs llvmpipe more than
// everything else in such a frame, and its pixels are the same in every frame while the same photo
// is in its texture: the clear and the backdrop's one quad at a fixed place, nothing from the row.
// So they are drawn once and copied back, byte for byte, in the frames after.
#include <cstdint>
#include <functional>
#include <memory>

#include "app/kept_picture.h"

class KeptBackdrop {
 public:
  // Becomes the scene's background function. `loads` tells how many times photo 17 has been loaded
  // into its texture: a new load draws the backdrop anew. GL thread.
  KeptBackdrop(std::unique_ptr<KeptPicture> picture, std::function<uint64_t()> loads);
  ~KeptBackdrop();  // the scene draws its background itself again
  KeptBackdrop(const KeptBackdrop&) = delete;
  KeptBackdrop& operator=(const KeptBackdrop&) = delete;

  uint64_t drawn() const { return drawn_; }   // backgrounds drawn
  uint64_t copied() const { return copied_; }  // and copied back

 private:
  static void background(bool backdrop);

  std::unique_ptr<KeptPicture> picture_;
  std::function<uint64_t()> loads_;
  bool kept_ = false;
  uint64_t kept_loads_ = 0;
  uint64_t drawn_ = 0, copied_ = 0;
};
