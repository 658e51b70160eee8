#pragma once
// The command line of hallshow-capture.
#include <optional>
#include <string>

#include "tools/authoring/time_argument.h"  // TIME in the options

struct CaptureOptions {
  std::optional<double> at_row;  // --at: one frame at this row, as PNG; otherwise the whole show
  std::string storyboard;        // --storyboard PATH: one PNG of frames every `every_row` rows
  double every_row = 40;         // --every TIME: the storyboard's step, 2 s by default
  int width = 1920, height = 1080;  // --size WxH: the screen the letterbox rule sees
  int fps = 60;                     // --fps N: frames per second of the video
  std::string output;               // --output PATH; empty: a name chosen from the mode
  double from_row = 0;              // --from TIME: the video or storyboard starts here
  std::optional<double> to_row;     // --to TIME: and ends here (before it); none: the show's end
  bool help = false;
  bool version = false;
};

// False, with a one-line `error`, when the arguments are not understood or do not go together.
bool parse_capture_options(int argc, const char* const* argv, CaptureOptions& options, std::string& error);
extern const char CAPTURE_USAGE[];
