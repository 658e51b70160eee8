#pragma once
// The catalogue's own entries in a made show: the photos themselves are open entries (from 44 up),
// and of the catalogue's 44 entries those with a part to play beside them are written, each with
// exactly its name, type and extension case: the backdrop, the cameos, the frame and the iris.
#include <array>
#include <string>
#include <vector>

#include "photos/photo_catalogue.h"
#include "tools/make/photos/cutout_mask.h"
#include "tools/make/photos/entry_type.h"

enum class EntryRole {
  Photo,     // a photo, square (only with --crop square is a photo ever square; these stay unwritten)
  Backdrop,  // entry 17, behind both layers while "happy" is 1: blurred and dimmed so they stand out
  Cameo,     // a soft-edged oval cut out of a photo, the rest transparent (PNG)
  Frame,     // a photo with a rounded window cut out of its middle (PNG)
  Iris,      // a photo with a round hole in its middle (PNG)
  Spare,     // listed in the catalogue, never loaded by the show
  Repeat,    // entry 43, which reads entry 40's file
};

// The roles, by entry index. The cut-outs sit where the demo keeps them.
extern const std::array<EntryRole, PHOTO_COUNT> ENTRY_ROLES;

// The type the show's loader expects from the extension written in the catalogue.
EntryType entry_type(int index);
// "hall.photo/05.JPG" → "05.JPG".
std::string entry_file_name(int index);
const char* role_name(EntryRole role);
// The alpha a role is cut with: the cameo, frame and iris have their shapes, the rest none.
Cutout entry_cutout(EntryRole role);

struct CatalogueAccent {
  int index = 0;  // the catalogue entry
  EntryRole role = EntryRole::Backdrop;
  int photo = 0;  // made from this photo (an index into the photos shown)
};

// The backdrop from `backdrop_photo`, the cut-outs from photos spread over the `photo_count` shown
// (never the backdrop's, while there are others), in catalogue order.
std::vector<CatalogueAccent> plan_accents(int photo_count, int backdrop_photo);
