// Start-up's photo loading: every catalogue photo into its texture, behind the loading frames,
// decoded ahead on all cores.
#include "photos/load_photos.h"

#include "photos/load_sequence.h"
#include "photos/texture_loaders.h"

void load_photos(void (*present)()) {
  TextureLoadSteps steps(picture_square_side_from_gl(), present);
  run_load_sequence(steps, load_jobs());
}

namespace {

class FramesOnlySteps : public TextureLoadSteps {
 public:
  using TextureLoadSteps::TextureLoadSteps;
  TextureImage decode(const LoadJob&) override { return {}; }
  void upload(const LoadJob&, const TextureImage&) override {}
  size_t decoded_bytes(const LoadJob&) override { return 0; }
  size_t decode_peak_bytes(const LoadJob&) override { return 0; }
  bool slow_decode(const LoadJob&) override { return false; }
};

}  // namespace

void show_loading_frames(void (*present)()) {
  FramesOnlySteps steps(picture_square_side_from_gl(), present);
  run_load_sequence(steps, load_jobs(), {.pipelined = false});
}
