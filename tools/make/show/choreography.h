#pragma once
// The show's tracks from the music's map and the photos' shapes: each unit of photos (see
// photo_units.h) on screen from a beat to a beat, a landscape filling the screen with a slow zoom
// and pan inside it, portraits and squares side by side or alone, whole, over the backdrop; accents
// from the catalogue's own entries (a cameo, a frame, an iris opening); covers and flips into new
// sections that never show a black screen; pulses on strong beats in loud sections; a fade in from
// black and out over the last bar, and "happy" 2 where the music ends. Pure: the same inputs always
// give the same text.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/make/make_options.h"
#include "tools/make/music/music_map.h"
#include "tools/make/photos/card_files.h"

// A photo the show may show: the number n names it by, its shape, and its name for the comments.
struct ShowPhoto {
  int entry = 0;
  double aspect = 1.5;  // width / height, upright
  std::string name;
  double largest = 0;   // the largest scale factor it may be shown at (its pixels at most doubled); 0: any
};

// A photo that may not be shown at this factor (its pixels at most doubled on a 1080p screen) is
// small for the screen: it stands alone, smaller than the others.
inline constexpr double SMALL_PHOTO_FACTOR = 1.5;

// The catalogue's own entries written for the show (-1 or empty: not written).
struct AccentEntries {
  bool backdrop = false;    // entry 17, behind everything while "happy" is 1
  std::vector<int> cameos;  // soft ovals, set into a corner over a landscape
  int frame = -1;           // a photo with a window, over a landscape
  int iris = -1;            // a photo with a round hole, opening onto a new section
};

// A card shown over a photo (tools/make/photos/card_files.h): on the front layer, faded in on the
// beat its photo comes on and out a beat before the next change. The photo stands as a unit of
// its own, on the back layer; a chapter's card begins on a section's first beat where one is
// near.
struct ShowCard {
  int entry = 0;        // the card at full strength; entry + 1 … + CARD_FADES fainter
  int photo = 0;        // index into the photos of the photo it is shown over
  bool title = false;   // the show's title, in the middle, fading in with the show; else low down
  std::string text;     // one line, for show.txt's comments
};

struct ChoreographyInput {
  MusicMap music;
  std::vector<ShowPhoto> photos;  // in the order they are shown
  AccentEntries accents;
  ShowStyle style = ShowStyle::Lively;
  uint64_t seed = 1;
  std::string song_name;  // for the header comment
  std::vector<ShowCard> cards;  // by photo, at most one a photo
};

// Photos a minute the style shows when it has them: calm 12, lively 25.
double photos_per_minute(ShowStyle style);
// Seconds of music it takes to show `photos` photos at the style's pace, fades included.
double music_needed(int photos, ShowStyle style);
// How many photos a show of `seconds` has room for at the style's pace (at least 1).
int photo_capacity(double seconds, ShowStyle style);

// A photo change the choreography makes: the row, the layer ("back" or "beard") and the entry.
struct PhotoChange {
  int row;
  std::string layer;
  int entry;
};

struct Choreography {
  std::string text;                      // show.txt, every one of the 22 tracks written out
  std::vector<PhotoChange> changes;      // every visible photo change, in row order
  std::map<int, double> largest_factor;  // by entry: the largest scale factor (1 + scale) it is shown at
  std::vector<int> shown;                // indexes into the input's photos that are on screen, ascending
  std::vector<int> cards_shown;          // indexes into the input's cards that are on screen, ascending
  // By entry: the part of the photo on screen whenever it is (0 to 1 across and down the upright
  // photo), where a caption is always seen.
  struct SeenArea {
    double left = 0, top = 0, right = 1, bottom = 1;
  };
  std::map<int, SeenArea> seen;
};

Choreography make_choreography(const ChoreographyInput& in);
