#pragma once
// The command line of hallshow-studio.
#include <optional>
#include <string>

struct StudioOptions {
  std::string show_text = "show.txt";  // SHOW.txt; the show folder is the working directory
  int width = 1280, height = 720;      // --window WxH
  bool fullscreen = false;             // --fullscreen
  double at_row = 0.0;                 // --at TIME
  bool paused = false;                 // --paused
  bool overlay = true;                 // --no-overlay hides it at start
  bool help = false, version = false;
};

// False, with a one-line `error`, when the arguments are not understood.
bool parse_studio_options(int argc, const char* const* argv, StudioOptions& options, std::string& error);
extern const char STUDIO_USAGE[];
