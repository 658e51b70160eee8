// Start-up's photo loading: every catalogue photo into its texture, behind the loading frames,
// decoded ahead on all cores.
#include "photos/load_photos.h"

#include "photos/load_sequence.h"
#include "photos/texture_loaders.h"

void load_photos(void (*present)()) {
  TextureLoadSteps steps(picture_square_side_from_gl(), present);
  run_load_sequence(steps, load_jobs());
}
