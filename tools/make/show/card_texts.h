#pragma once
// What the cards and captions say, from the photos' own times and places: the title (the set's
// places and dates, "Lisbon and Porto · July 2026", or the folder's name when it has neither),
// each chapter's card ("Sintra · Tuesday, 14 July") and each photo's caption. Places carry their
// country when the set spans countries. Dates in the user's language (date_words.h).
#include <string>
#include <vector>

#include "tools/make/make_options.h"
#include "tools/make/show/chapters.h"
#include "tools/make/show/date_words.h"

// A place's name and its country's ISO code.
struct PlaceName {
  std::string name, country;
};

struct SetTexts {
  std::string title;
  std::vector<std::string> chapters;  // by chapter; "" when it has neither place nor date
  std::vector<std::string> captions;  // by photo; "" when it has nothing to say
};

// `place_of`: each photo's place in `places` (places_of), -1 none. `folder` names the set when its
// photos say neither where nor when.
SetTexts set_texts(const std::vector<PhotoMoment>& photos, const std::vector<Chapter>& chapters,
                   const std::vector<int>& place_of, const std::vector<PlaceName>& places, const DateWords& words,
                   CaptionChoice captions, const std::string& folder);

// One line, as a card's text must be: each run of control characters and line breaks a space, and
// no more than `most` bytes (cut at a character's start).
std::string one_line(const std::string& text, size_t most = 1000);
