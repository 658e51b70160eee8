#include "tools/wall/wall_options.h"

#include <algorithm>
#include <cstdlib>

const char WALL_USAGE[] =
    "usage: hallshow-wall --lead [--port P] [--music none] [--clock net|ptp[:DOMAIN]|system]\n"
    "       hallshow-wall --join [HOST[:P]] [--music here]\n"
    "       (both take --wall COLSxROWS --screen COL,ROW [--bezel PX], --offscreen WxH or --rows-only,\n"
    "        --fps N and --log FILE)\n"
    "       hallshow-wall --help | --version\n"
    "  Plays the show in the working directory on many machines in step, one display each.\n"
    "  --lead             serve the show's clock and start, and play its music\n"
    "  --port P           the leader's port, TCP and UDP (default 5637; 0: any free one)\n"
    "  --join [HOST[:P]]  follow the leader at HOST; alone, find the leader of the show folder of\n"
    "                     the same name on the LAN (mDNS through Avahi)\n"
    "  --music none|here  the leader plays the music unless none; a follower only with here\n"
    "  --clock NAME       net (the leader's clock over the network, default), ptp[:DOMAIN] (a PTP\n"
    "                     grandmaster on the LAN) or system (the machines' own synchronised clocks)\n"
    "  --wall COLSxROWS --screen COL,ROW [--bezel PX]\n"
    "                     this display is one tile of a wall, COL and ROW counted from 1 at the top\n"
    "                     left, PX pixels hidden between displays\n"
    "  --offscreen WxH    draw offscreen at this size instead of on the display\n"
    "  --rows-only        draw nothing, only compute (and log) the rows\n"
    "  --fps N            frames a second of --offscreen and --rows-only (default 60)\n"
    "  --log FILE         write a line a frame: true time (ns), shared time (ns), row\n";

namespace {

bool parse_int(const std::string& text, int low, int high, int& out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (v < low || v > high) return false;
  out = static_cast<int>(v);
  return true;
}

// HOST, HOST:P, [V6]:P or [V6].
bool parse_host_port(const std::string& text, std::string& host, int& port) {
  std::string port_text;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return false;
      port_text = text.substr(close + 2);
      if (port_text.empty()) return false;
    }
  } else {
    const size_t colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
      host = text.substr(0, colon);
      port_text = text.substr(colon + 1);
      if (port_text.empty()) return false;
    } else {
      host = text;  // a bare IPv6 address has several colons and no port
    }
  }
  if (host.empty() || host.find_first_of(" \t/") != std::string::npos) return false;
  return port_text.empty() || parse_int(port_text, 1, 65535, port);
}

}  // namespace

bool parse_wall_options(int argc, const char* const* argv, WallOptions& options, std::string& error) {
  bool lead = false, join = false, port_given = false, join_port_given = false, music_given = false;
  std::string wall, screen, bezel, music;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--lead") {
      lead = true;
    } else if (arg == "--rows-only") {
      options.display = WallDisplay::RowsOnly;
    } else if (arg == "--join") {
      join = true;
      // The leader's address is optional: what follows is another option, or nothing.
      if (i + 1 < argc && argv[i + 1][0] != '-') {
        const std::string value = argv[++i];
        int port = DEFAULT_WALL_PORT;
        if (!parse_host_port(value, options.host, port)) {
          error = "--join \"" + value + "\": not HOST or HOST:PORT (PORT in 1..65535)";
          return false;
        }
        join_port_given = value.find("]:") != std::string::npos ||
                          (value.front() != '[' && std::count(value.begin(), value.end(), ':') == 1);
        if (join_port_given) options.port = port;
      }
    } else if (arg == "--port" || arg == "--music" || arg == "--clock" || arg == "--wall" || arg == "--screen" ||
               arg == "--bezel" || arg == "--offscreen" || arg == "--fps" || arg == "--log") {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      const std::string value = argv[++i];
      if (arg == "--port") {
        if (!parse_int(value, 0, 65535, options.port)) {
          error = "--port \"" + value + "\": not a port number in 0..65535";
          return false;
        }
        port_given = true;
      } else if (arg == "--music") {
        if (value != "none" && value != "here") {
          error = "--music \"" + value + "\": not none or here";
          return false;
        }
        music = value;
        music_given = true;
      } else if (arg == "--clock") {
        const std::optional<ClockChoice> clock = parse_clock_choice(value);
        if (!clock) {
          error = "--clock \"" + value + "\": not net, ptp, ptp:DOMAIN (0..255) or system";
          return false;
        }
        options.clock = *clock;
        options.clock_given = true;
      } else if (arg == "--wall" || arg == "--screen" || arg == "--bezel") {
        (arg == "--wall" ? wall : arg == "--screen" ? screen : bezel) = value;
      } else if (arg == "--offscreen") {
        const size_t x = value.find('x');
        if (x == std::string::npos || !parse_int(value.substr(0, x), 1, 16384, options.width) ||
            !parse_int(value.substr(x + 1), 1, 16384, options.height)) {
          error = "--offscreen \"" + value + "\": not WIDTHxHEIGHT in 1..16384";
          return false;
        }
        options.display = WallDisplay::Offscreen;
      } else if (arg == "--fps") {
        if (!parse_int(value, 1, 1000, options.fps)) {
          error = "--fps \"" + value + "\": not a whole number in 1..1000";
          return false;
        }
      } else {
        if (value.empty()) {
          error = "--log needs a path";
          return false;
        }
        options.log = value;
      }
    } else {
      error = "unknown argument \"" + arg + "\"";
      return false;
    }
  }
  if (options.help || options.version) return true;
  if (lead == join) {
    error = lead ? "--lead and --join are the two ends; give one" : "give --lead on one machine, --join on the others";
    return false;
  }
  options.role = lead ? WallRole::Lead : WallRole::Join;
  if (join && port_given && join_port_given) {
    error = "the leader's port is given twice (--join HOST:P and --port)";
    return false;
  }
  if (join && port_given && options.port == 0) {
    error = "--port 0 is for the leader; a follower needs the leader's port";
    return false;
  }
  if (!parse_wall_tile(wall, screen, bezel, options.wall, error)) return false;
  options.tiled = !wall.empty();
  options.music = lead ? music != "none" : music == "here";
  if (lead && music_given && music == "here") {
    error = "the leader plays the music already (--music none silences it)";
    return false;
  }
  if (options.display == WallDisplay::RowsOnly && options.tiled) {
    error = "--rows-only draws nothing, so it has no tile";
    return false;
  }
  if (join && options.clock_given) {
    error = "--clock is the leader's choice; a follower takes it from its leader";
    return false;
  }
  return true;
}
