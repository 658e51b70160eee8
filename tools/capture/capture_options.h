#pragma once
// The command line of hallshow-capture.
#include <optional>
#include <string>

#include "app/wall_tile.h"
#include "tools/authoring/time_argument.h"  // TIME in the options
#include "tools/capture/video_output.h"

// How much of a video's detail the encoder keeps, and at what speed: --quality NAME.
struct QualityLevel {
  const char* name;
  EncoderSettings encoder;
};
extern const QualityLevel QUALITY_LEVELS[3];  // best, good (the default), small

// What --preset NAME sets; --size, --fps and --quality given as well win over it.
struct VideoPreset {
  const char* name;
  int width, height, fps;
  const char* quality;
};
extern const VideoPreset VIDEO_PRESETS[2];  // web, 4k

struct CaptureOptions {
  std::optional<double> at_row;  // --at: one frame at this row, as PNG; otherwise the whole show
  std::string storyboard;        // --storyboard PATH: one PNG of frames every `every_row` rows
  double every_row = 40;         // --every TIME: the storyboard's step, 2 s by default
  int width = 1920, height = 1080;  // --size WxH: the screen the letterbox rule sees
  int fps = 60;                     // --fps N: frames per second of the video
  EncoderSettings encoder;          // --quality NAME: x264's preset and rate factor
  std::string output;               // --output PATH; empty: a name chosen from the mode
  double from_row = 0;              // --from TIME: the video or storyboard starts here
  std::optional<double> to_row;     // --to TIME: and ends here (before it); none: the show's end
  bool stats = false;               // --stats: where the time went, printed at the end
  // --wall COLSxROWS --screen COL,ROW [--bezel PX]: one display's tile of a wall of --size
  // displays; by default the whole picture on one.
  WallTile wall;
  bool tiled = false;
  bool help = false;
  bool version = false;
};

// False, with a one-line `error`, when the arguments are not understood or do not go together.
bool parse_capture_options(int argc, const char* const* argv, CaptureOptions& options, std::string& error);
extern const char CAPTURE_USAGE[];
