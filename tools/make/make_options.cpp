#include "tools/make/make_options.h"

#include <charconv>
#include <cmath>

#include "tools/authoring/time_argument.h"

const char MAKE_USAGE[] =
    "usage: hallshow-make PHOTO_OR_FOLDER... --music SONG [--music SONG...] [--length TIME]\n"
    "                     [--out DIR] [--style calm|lively]\n"
    "                     [--seed N] [--shuffle] [--crop whole|square] [--bpm N] [--beats N]\n"
    "                     [--force] [--title TEXT] [--cards none|title|chapters]\n"
    "                     [--captions none|date|place|both]\n"
    "       hallshow-make --cards-from SHOW\n"
    "       hallshow-make --help | --version\n"
    "  Makes a show folder from photos and songs: every photo, whole and upright, in hall.photo/,\n"
    "  the music as e12.mp3, and tracks (show.txt, kestos/) whose photo changes, moves and pulses\n"
    "  land on the music's beats.\n"
    "  PHOTO_OR_FOLDER  photo files (JPEG, PNG, GIF, WebP, TIFF, BMP, HEIC) or folders, read\n"
    "                   recursively; shown in the order they were taken, then by file name\n"
    "  --music SONG     MP3 (copied as it is), or OGG, Opus, FLAC, WAV, AAC/M4A (encoded to MP3);\n"
    "                   given again, a playlist: the songs joined in order with a short crossfade\n"
    "  --length TIME    end the show there, the music faded out over its last bar (M:SS, 95s, or\n"
    "                   rows: 1900)\n"
    "  --out DIR        the show folder to make (default ./show)\n"
    "  --style S        calm: fewer, slower changes; lively: more, faster ones (default lively)\n"
    "  --seed N         another choice among equally good moves (default 1)\n"
    "  --shuffle        photos in an order drawn from the seed instead of the time they were taken\n"
    "  --crop C         whole: each photo at its own shape (default); square: cut square around its\n"
    "                   subject\n"
    "  --bpm N          the song's tempo: the beat grid's period is N, its phase found in the music\n"
    "                   (otherwise the tempo is found, or 120 assumed when there is no clear beat)\n"
    "  --beats N        beats to a bar (default 4)\n"
    "  --force          replace DIR even when it is not empty\n"
    "  --title TEXT     the title card's text (default: the photos' places and dates, or their folder)\n"
    "  --cards C        none, title, or chapters: the title and a card for each chapter (default)\n"
    "  --captions C     none (default); date, place or both: a small line in each photo's corner\n"
    "  --cards-from SHOW  draw SHOW's cards again from its edited cards.txt, nothing else\n";

namespace {

bool parse_number(const std::string& text, double& out) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, out, std::chars_format::fixed);
  return ec == std::errc() && p == end && std::isfinite(out);
}

bool parse_whole(const std::string& text, uint64_t& out) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, out);
  return !text.empty() && ec == std::errc() && p == end;
}

}  // namespace

std::optional<double> parse_length(const std::string& text) {
  // Minutes and seconds: "3:30", "3:30.5".
  const size_t colon = text.find(':');
  if (colon != std::string::npos) {
    uint64_t minutes = 0;
    double seconds = 0;
    if (!parse_whole(text.substr(0, colon), minutes) || !parse_number(text.substr(colon + 1), seconds) ||
        seconds < 0 || seconds >= 60 || colon + 3 > text.size() || text[colon + 1] == '-')
      return std::nullopt;
    return minutes * 60.0 + seconds;
  }
  const std::optional<double> row = parse_capture_time(text);
  if (!row) return std::nullopt;
  return *row / 20.0;
}

bool parse_make_options(int argc, const char* const* argv, MakeOptions& options, std::string& error) {
  bool out_given = false, style_given = false, seed_given = false, bpm_given = false,
       beats_given = false, crop_given = false, length_given = false, title_given = false, cards_given = false,
       captions_given = false, cards_from_given = false;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_end || arg.empty() || arg[0] != '-' || arg == "-") {
      options.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      options.help = true;
      continue;
    }
    if (arg == "--version") {
      options.version = true;
      continue;
    }
    if (arg == "--force") {
      options.force = true;
      continue;
    }
    if (arg == "--shuffle") {
      options.shuffle = true;
      continue;
    }
    const bool takes_value = arg == "--music" || arg == "--length" || arg == "--out" || arg == "--style" || arg == "--seed" ||
                             arg == "--bpm" || arg == "--beats" || arg == "--crop" || arg == "--title" ||
                             arg == "--cards" || arg == "--captions" || arg == "--cards-from";
    if (!takes_value) {
      error = "unknown option " + arg;
      return false;
    }
    if (i + 1 >= argc) {
      error = arg + " needs a value";
      return false;
    }
    const std::string value = argv[++i];
    auto once = [&](bool& given) {
      if (given) error = arg + " is given twice";
      given = true;
      return error.empty();
    };
    if (arg == "--music") {
      if (value.empty()) {
        error = "--music needs a file";
        return false;
      }
      options.music.push_back(value);
    } else if (arg == "--length") {
      if (!once(length_given)) return false;
      const std::optional<double> seconds = parse_length(value);
      if (!seconds || *seconds <= 0) {
        error = "--length '" + value + "' is no time: minutes and seconds (3:30), seconds (210s) or rows (4200)";
        return false;
      }
      options.length = *seconds;
    } else if (arg == "--out") {
      if (!once(out_given)) return false;
      if (value.empty()) {
        error = "--out needs a folder";
        return false;
      }
      options.out = value;
    } else if (arg == "--style") {
      if (!once(style_given)) return false;
      if (value == "calm") {
        options.style = ShowStyle::Calm;
      } else if (value == "lively") {
        options.style = ShowStyle::Lively;
      } else {
        error = "--style is calm or lively, not '" + value + "'";
        return false;
      }
    } else if (arg == "--crop") {
      if (!once(crop_given)) return false;
      if (value != "whole" && value != "square") {
        error = "--crop is whole or square, not '" + value + "'";
        return false;
      }
      options.square = value == "square";
    } else if (arg == "--title") {
      if (!once(title_given)) return false;
      if (value.find_first_not_of(" \t\r\n") == std::string::npos) {
        error = "--title needs a text (--cards none shows no cards at all)";
        return false;
      }
      options.title = value;
    } else if (arg == "--cards") {
      if (!once(cards_given)) return false;
      if (value == "none") options.cards = CardChoice::None;
      else if (value == "title") options.cards = CardChoice::Title;
      else if (value == "chapters") options.cards = CardChoice::Chapters;
      else {
        error = "--cards is none, title or chapters, not '" + value + "'";
        return false;
      }
    } else if (arg == "--captions") {
      if (!once(captions_given)) return false;
      if (value == "none") options.captions = CaptionChoice::None;
      else if (value == "date") options.captions = CaptionChoice::Date;
      else if (value == "place") options.captions = CaptionChoice::Place;
      else if (value == "both") options.captions = CaptionChoice::Both;
      else {
        error = "--captions is none, date, place or both, not '" + value + "'";
        return false;
      }
    } else if (arg == "--cards-from") {
      if (!once(cards_from_given)) return false;
      if (value.empty()) {
        error = "--cards-from needs a show folder";
        return false;
      }
      options.cards_from = value;
    } else if (arg == "--seed") {
      if (!once(seed_given)) return false;
      if (!parse_whole(value, options.seed)) {
        error = "--seed '" + value + "' is not a whole number from 0";
        return false;
      }
    } else if (arg == "--bpm") {
      if (!once(bpm_given)) return false;
      // Beyond these a bar is shorter than a photo can be seen or longer than a phrase.
      if (!parse_number(value, options.bpm) || options.bpm < 30 || options.bpm > 300) {
        error = "--bpm '" + value + "' is not a tempo from 30 to 300 beats a minute";
        return false;
      }
    } else {
      if (!once(beats_given)) return false;
      uint64_t beats = 0;
      if (!parse_whole(value, beats) || beats < 2 || beats > 12) {
        error = "--beats '" + value + "' is not a number of beats to a bar from 2 to 12";
        return false;
      }
      options.beats_per_bar = static_cast<int>(beats);
    }
  }
  if (options.help || options.version) return true;
  if (cards_from_given) {
    // Only the cards are drawn again: what would make a show has no place here.
    const bool alone = options.inputs.empty() && options.music.empty() && !out_given && !style_given && !seed_given &&
                       !bpm_given && !beats_given && !crop_given && !length_given && !title_given && !cards_given &&
                       !captions_given && !options.force && !options.shuffle;
    if (!alone) error = "--cards-from SHOW takes nothing else: it draws SHOW's cards again from its cards.txt";
    return alone;
  }
  if (title_given && options.cards == CardChoice::None) {
    error = "--title names a title card, and --cards none shows none";
    return false;
  }
  if (options.music.empty()) {
    error = "no song: give one with --music SONG";
    return false;
  }
  if (options.inputs.empty()) {
    error = "no photos: give photo files or folders";
    return false;
  }
  return true;
}
