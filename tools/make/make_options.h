#pragma once
// The command line of hallshow-make.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class ShowStyle { Calm, Lively };
enum class CardChoice { None, Title, Chapters };         // --cards: chapters is the title and chapters
enum class CaptionChoice { None, Date, Place, Both };    // --captions

struct MakeOptions {
  std::vector<std::string> inputs;  // photo files and folders, in the order given
  std::vector<std::string> music;   // --music SONG, once for each song, in the order played
  double length = 0;                // --length TIME, seconds: the show ends there; 0: with the music
  std::string out = "show";         // --out DIR
  ShowStyle style = ShowStyle::Lively;
  uint64_t seed = 1;                // --seed N: the choice among equal moves, and --shuffle's order
  bool shuffle = false;             // --shuffle: photos in an order drawn from the seed
  bool square = false;              // --crop square: each photo cut square around its subject
  double bpm = 0;                   // --bpm N: the song's tempo (the grid's period); 0: found in the music
  int beats_per_bar = 4;            // --beats N
  bool force = false;               // --force: replace a folder that is not empty
  std::string title;                // --title TEXT; empty: the set's places and dates, or its folder's name
  CardChoice cards = CardChoice::Chapters;
  CaptionChoice captions = CaptionChoice::None;
  std::string cards_from;           // --cards-from SHOW: only the cards of SHOW drawn again from its cards.txt
  bool help = false;
  bool version = false;
};

// --length's TIME: "3:30" (minutes and seconds), "210s" or rows ("4200"), in seconds.
std::optional<double> parse_length(const std::string& text);

// False, with a one-line `error`, when the arguments are not understood or do not go together.
bool parse_make_options(int argc, const char* const* argv, MakeOptions& options, std::string& error);
extern const char MAKE_USAGE[];
