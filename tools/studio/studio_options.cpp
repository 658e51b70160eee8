#include "tools/studio/studio_options.h"

#include <cstdlib>

#include "tools/authoring/time_argument.h"

const char STUDIO_USAGE[] =
    "usage: hallshow-studio [SHOW.txt] [--window WxH] [--fullscreen] [--at TIME] [--paused] [--no-overlay]\n"
    "  Plays the show in the working directory in a window, in time with its music, and keeps the\n"
    "  picture live: every save of SHOW.txt (default show.txt) shows at once, and writes kestos/ as\n"
    "  \"kesto build SHOW.txt .\" does.\n"
    "  --window WxH  the window's size (default 1280x720)\n"
    "  --fullscreen  start fullscreen (F toggles)\n"
    "  --at TIME     start there; TIME in rows (250, 250r) or seconds (12.5s)\n"
    "  --paused      start paused (Space plays)\n"
    "  --no-overlay  start with the overlay hidden (H shows it)\n"
    "  --help, --version\n"
    "Keys: Space pause, Left/Right a beat (Shift: a bar), PageUp/PageDown 10 s, Home the start,\n"
    "  [ and ] the loop's start and end, L loop on/off, click the timeline to go there,\n"
    "  +/- the picture 10 ms later/earlier against the sound, H overlay, F fullscreen, Q/Escape quit.\n";

namespace {

// A whole number of pixels in 1..16384, nothing else on the text.
bool parse_pixels(const std::string& text, int& out) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (v < 1 || v > 16384) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

bool parse_studio_options(int argc, const char* const* argv, StudioOptions& options, std::string& error) {
  bool named_text = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--fullscreen") {
      options.fullscreen = true;
    } else if (arg == "--paused") {
      options.paused = true;
    } else if (arg == "--no-overlay") {
      options.overlay = false;
    } else if (arg == "--window" || arg == "--at") {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      const std::string value = argv[++i];
      if (arg == "--at") {
        const std::optional<double> row = parse_capture_time(value);
        if (!row) {
          error = "--at \"" + value + "\": not a time (rows like 250, seconds like 12.5s)";
          return false;
        }
        options.at_row = *row;
      } else {
        const size_t x = value.find('x');
        if (x == std::string::npos || !parse_pixels(value.substr(0, x), options.width) ||
            !parse_pixels(value.substr(x + 1), options.height)) {
          error = "--window \"" + value + "\": not WIDTHxHEIGHT in 1..16384";
          return false;
        }
      }
    } else if (arg.starts_with("-")) {
      error = "unknown option \"" + arg + "\"";
      return false;
    } else if (named_text) {
      error = "one show text only (\"" + options.show_text + "\" and \"" + arg + "\")";
      return false;
    } else {
      options.show_text = arg;
      named_text = true;
    }
  }
  return true;
}
