#pragma once
// The command line of hallshow-wall.
#include <string>

#include "app/wall_tile.h"
#include "tools/wall/wall_message.h"

inline constexpr int DEFAULT_WALL_PORT = 5637;  // GStreamer's net clock's own default

enum class WallRole { Lead, Join };

// Where the display shows the picture.
enum class WallDisplay {
  Window,     // fullscreen on the display, as hallshow
  Offscreen,  // --offscreen WxH: drawn into an offscreen context, paced at --fps (tests, benchmarks)
  RowsOnly,   // --rows-only: the rows computed and logged, nothing drawn and no photo loaded
};

struct WallOptions {
  WallRole role = WallRole::Lead;
  int port = DEFAULT_WALL_PORT;  // --port: the leader's (0: any free one); a follower's default
  std::string host;              // --join HOST[:P]; empty: found on the LAN by mDNS
  bool music = true;             // the leader plays it unless --music none; a follower with --music here
  ClockChoice clock;             // --clock net|ptp[:DOMAIN]|system (the leader's; a follower takes its leader's)
  bool clock_given = false;
  WallTile wall;                 // --wall COLSxROWS --screen COL,ROW [--bezel PX]
  bool tiled = false;
  WallDisplay display = WallDisplay::Window;
  int width = 320, height = 180;  // --offscreen WxH
  int fps = 60;                   // --fps: the pace of --offscreen and --rows-only
  std::string log;                // --log FILE: a line a frame: true time, shared time, row
  bool help = false, version = false;
};

// False, with a one-line `error`, when the arguments are not understood or do not go together.
bool parse_wall_options(int argc, const char* const* argv, WallOptions& options, std::string& error);
extern const char WALL_USAGE[];
