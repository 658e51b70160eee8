#pragma once
// Which photo goes into which catalogue entry, and what each entry is for. Every entry of the
// show's catalogue gets a file with exactly its name, type and extension case; the choreography
// only ever shows the entries whose role it knows.
#include <array>
#include <string>
#include <vector>

#include "photos/photo_catalogue.h"

enum class EntryType { Jpeg, Png, Gif };

enum class EntryRole {
  Photo,     // a photo, square, shown whole by either layer
  Backdrop,  // entry 17, behind both layers while "happy" is 1: blurred and dimmed so they stand out
  Cameo,     // a soft-edged oval cut out of a photo, the rest transparent (PNG)
  Frame,     // a photo with a rounded window cut out of its middle (PNG)
  Iris,      // a photo with a round hole in its middle (PNG)
  Spare,     // listed in the catalogue, never loaded by the show: a copy so the folder is complete
  Repeat,    // entry 43, which reads entry 40's file
};

// The roles, by entry index. The cut-outs sit where the demo keeps them.
extern const std::array<EntryRole, PHOTO_COUNT> ENTRY_ROLES;

// The type the show's loader expects from the extension written in the catalogue.
EntryType entry_type(int index);
// "hall.photo/05.JPG" → "05.JPG".
std::string entry_file_name(int index);
const char* role_name(EntryRole role);

struct EntryPlan {
  int index = 0;
  EntryRole role = EntryRole::Photo;
  int photo = -1;  // index into the photo list; -1 for the repeat of entry 40
};

struct CataloguePlan {
  std::vector<EntryPlan> entries;   // all 44, by index
  std::vector<int> used;            // photos that appear somewhere, in show order
  std::vector<int> unused;          // photos left out: more photos than the show has places for
  std::vector<int> show_entries;    // the Photo entries holding distinct photos, in show order
  std::vector<int> cameo_entries, frame_entries, iris_entries;
};

// The Photo entries in index order.
std::vector<int> photo_role_entries();

// For `photo_count` usable photos (at least 1) in show order. Fewer photos than Photo entries: they
// repeat in order. More: an even spread over the whole set from the first to the last is used.
CataloguePlan plan_catalogue(int photo_count);
