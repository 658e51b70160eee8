#pragma once
// The cards and captions of a run, from the photos' own times and places: where each photo was
// taken (GeoNames' towns, looked up offline), the chapters, what each card and caption says, which
// photo each card is shown over; cards.txt, which holds every card's text to edit; and
// --cards-from, which draws a show's cards again from it.
#include <string>
#include <utility>
#include <vector>

#include "tools/make/make_options.h"
#include "tools/make/photos/photo_files.h"
#include "tools/make/photos/photo_order.h"
#include "tools/make/show/card_texts.h"
#include "tools/make/show/chapters.h"
#include "tools/make/show/choreography.h"

struct CardPlan {
  std::vector<Chapter> chapters;  // of the photos, in show order; empty without chapter cards
  SetTexts texts;                 // the title, each chapter's text, each photo's caption
};

// What the cards and captions of `photos` (in show order) say. Places are looked up only when a
// photo has a position and something would name a place; `warnings` says when they cannot be.
CardPlan plan_cards(const std::vector<PhotoCandidate>& photos, const MakeOptions& options,
                    std::vector<std::string>& warnings);

// The cards over the photos shown (`shown`: indexes into the photos, in show order; the k-th is
// the choreography's photo k), numbered from `first_entry`, each taking 1 + CARD_FADES numbers:
// the title over the first photo, each chapter's card over its first photo shown (the first
// chapter's over its second, after the title's). None with --cards none.
std::vector<ShowCard> place_cards(const CardPlan& plan, const MakeOptions& options, const std::vector<int>& shown,
                                  int first_entry);

// The caption of photo `photo` (of the plan's photos), shown as `entry`: its text, its size for
// the largest the show draws it, the part of it always on screen. Empty text: none.
PhotoCaption caption_of(const CardPlan& plan, int photo, const Choreography& show, int entry);

// cards.txt: a line "N  text" for each card, the title first.
std::string cards_text(const std::vector<ShowCard>& cards);
// The cards of a cards.txt, by number; false, with `error` naming the line, when a line is not
// "N  text" or names a number twice.
bool read_cards_text(const std::string& text, std::vector<std::pair<int, std::string>>& cards, std::string& error);

// --cards-from SHOW: every card in SHOW/cards.txt drawn again into SHOW/hall.photo/, all of them
// or none. An exit code, having said what went wrong.
int redraw_cards(const std::string& show);
