#pragma once
// Cards: a title or a chapter's place and date drawn as white text with a soft shadow on a
// transparent band the width of a 4K screen, written as open entries (PNG with alpha) that the
// show draws like any photo. A card is its full-strength file and CARD_FADES fainter copies after
// it, which the tracks step through to fade it in and out. Set by Pango (through libvips' text,
// with fontconfig's fonts for any script), so that no character is lost.
#include <string>
#include <vector>

inline constexpr int CARD_WIDTH = 3840, CARD_HEIGHT = 864;
inline constexpr int CARD_FADES = 3;  // N + 1 … N + 3: three quarters, half, a quarter as strong

enum class CardKind { Title, Chapter };

// The files of card `number`: "N.png", then its fainter copies.
std::vector<std::string> card_file_names(int number);

// Draws `text` (as typed: "<" and "&" are shown, not read as markup) and writes the card's files
// into `folder`. A title is larger; text wider than the band wraps, onto at most three lines, and
// is set smaller when three lines cannot hold it. Empty text makes a card that shows nothing.
bool write_card(const std::string& text, CardKind kind, int number, const std::string& folder, std::string& why);
