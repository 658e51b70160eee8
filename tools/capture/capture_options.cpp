#include "tools/capture/capture_options.h"

#include <cstdlib>

// Chosen by measurement on the demo show at 1080p60 (README, "Exporting a video";
// bench/tools/capture_encoder_bench.sh): "good" is x264's fastest preset at a rate factor that keeps
// SSIM against the lossless frames above 0.98; "best" the next preset, whose files are a fifth
// smaller and better for twice the encoder's time; "small" a fifth of good's size, still above
// 0.98, for two and a half times its time.
const QualityLevel QUALITY_LEVELS[3] = {
    {"best", {"superfast", 18}},
    {"good", {"ultrafast", 19}},
    {"small", {"veryfast", 20}},
};

const VideoPreset VIDEO_PRESETS[2] = {
    {"web", 1920, 1080, 30, "small"},
    {"4k", 3840, 2160, 60, "good"},
};

const char CAPTURE_USAGE[] =
    "usage: hallshow-capture [--preset web|4k] [--size WxH] [--fps N] [--quality best|good|small]\n"
    "                        [--output PATH] [--stats]                   the whole show as MP4\n"
    "       (each of them takes --wall COLSxROWS --screen COL,ROW [--bezel PX] for one tile)\n"
    "       hallshow-capture --at TIME [--size WxH] [--output PATH]        one frame as PNG\n"
    "       hallshow-capture --storyboard FILE.png [--every TIME] [--size WxH]\n"
    "       (the video and the storyboard take --from TIME and --to TIME for a part of the show)\n"
    "       hallshow-capture --help | --version\n"
    "  Renders the show in the working directory offscreen, exactly as hallshow draws it.\n"
    "  --at TIME          one frame; TIME in rows (250, 250r) or seconds (12.5s)\n"
    "  --storyboard FILE  one PNG: a grid of frames every TIME (default 2s) from the start to the\n"
    "                     end of the show, each scaled down and labelled with its time and row\n"
    "  --size WxH         the screen size the letterbox rule sees (default 1920x1080; a video's\n"
    "                     sides even)\n"
    "  --fps N            frames per second of the video (default 60)\n"
    "  --preset NAME      web: 1920x1080 at 30 fps, quality small; 4k: 3840x2160 at 60 fps\n"
    "  --quality NAME     best, good (default) or small: smaller files, encoded more slowly\n"
    "  --output PATH      where to write (default hallshow-<row>.png, or hallshow.mp4); a video\n"
    "                     named *.y4m is written as YUV4MPEG2 frames, without sound or encoder\n"
    "  --from TIME        start there instead of at the beginning\n"
    "  --to TIME          stop there instead of at the end of the show\n"
    "  --stats            print where the video's time went\n"
    "  The video holds every frame until \"happy\" ends the show or the music ends, as H.264\n"
    "  (High, yuv420p) with e12.mp3 as its sound (AAC), through ffmpeg.\n";

namespace {

// A whole number in 1..limit, nothing else on the text.
bool parse_count(const std::string& text, int limit, int& out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (v < 1 || v > limit) return false;
  out = static_cast<int>(v);
  return true;
}

const QualityLevel* quality_named(const std::string& name) {
  for (const QualityLevel& q : QUALITY_LEVELS)
    if (name == q.name) return &q;
  return nullptr;
}

const VideoPreset* preset_named(const std::string& name) {
  for (const VideoPreset& p : VIDEO_PRESETS)
    if (name == p.name) return &p;
  return nullptr;
}

}  // namespace

bool parse_capture_options(int argc, const char* const* argv, CaptureOptions& options, std::string& error) {
  bool every_given = false, fps_given = false, from_given = false, size_given = false;
  std::string wall, screen, bezel;
  const QualityLevel* quality = nullptr;
  const VideoPreset* preset = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      options.help = true;
      continue;
    }
    if (arg == "--version") {
      options.version = true;
      continue;
    }
    if (arg == "--stats") {
      options.stats = true;
      continue;
    }
    if (arg != "--at" && arg != "--size" && arg != "--fps" && arg != "--output" && arg != "--storyboard" &&
        arg != "--every" && arg != "--from" && arg != "--to" && arg != "--preset" && arg != "--quality" &&
        arg != "--wall" && arg != "--screen" && arg != "--bezel") {
      error = "unknown argument \"" + arg + "\"";
      return false;
    }
    if (i + 1 >= argc) {
      error = arg + " needs a value";
      return false;
    }
    const std::string value = argv[++i];
    if (arg == "--wall" || arg == "--screen" || arg == "--bezel") {
      (arg == "--wall" ? wall : arg == "--screen" ? screen : bezel) = value;
    } else if (arg == "--at") {
      options.at_row = parse_capture_time(value);
      if (!options.at_row) {
        error = "--at \"" + value + "\": not a time (rows like 250, seconds like 12.5s)";
        return false;
      }
    } else if (arg == "--from" || arg == "--to") {
      const std::optional<double> t = parse_capture_time(value);
      if (!t) {
        error = arg + " \"" + value + "\": not a time (rows like 250, seconds like 12.5s)";
        return false;
      }
      if (arg == "--from") {
        options.from_row = *t;
        from_given = true;
      } else {
        options.to_row = *t;
      }
    } else if (arg == "--every") {
      const std::optional<double> every = parse_capture_time(value);
      if (!every || *every <= 0) {
        error = "--every \"" + value + "\": not a time above 0 (rows like 40, seconds like 2s)";
        return false;
      }
      options.every_row = *every;
      every_given = true;
    } else if (arg == "--storyboard") {
      if (value.empty()) {
        error = "--storyboard needs a path";
        return false;
      }
      options.storyboard = value;
    } else if (arg == "--size") {
      const size_t x = value.find('x');
      if (x == std::string::npos || !parse_count(value.substr(0, x), 16384, options.width) ||
          !parse_count(value.substr(x + 1), 16384, options.height)) {
        error = "--size \"" + value + "\": not WIDTHxHEIGHT in 1..16384";
        return false;
      }
      size_given = true;
    } else if (arg == "--fps") {
      if (!parse_count(value, 1000, options.fps)) {
        error = "--fps \"" + value + "\": not a whole number in 1..1000";
        return false;
      }
      fps_given = true;
    } else if (arg == "--preset") {
      if (!(preset = preset_named(value))) {
        error = "--preset \"" + value + "\": not web or 4k";
        return false;
      }
    } else if (arg == "--quality") {
      if (!(quality = quality_named(value))) {
        error = "--quality \"" + value + "\": not best, good or small";
        return false;
      }
    } else {
      if (value.empty()) {
        error = "--output needs a path";
        return false;
      }
      options.output = value;
    }
  }
  if (preset) {
    if (!size_given) options.width = preset->width, options.height = preset->height;
    if (!fps_given) options.fps = preset->fps;
    if (!quality) quality = quality_named(preset->quality);
  }
  options.encoder = (quality ? *quality : QUALITY_LEVELS[1]).encoder;
  if (!parse_wall_tile(wall, screen, bezel, options.wall, error)) return false;
  options.tiled = !wall.empty();
  // A storyboard option the chosen mode would silently ignore is a mistake worth pointing out.
  const bool storyboard = !options.storyboard.empty();
  const bool video = !storyboard && !options.at_row;
  if (storyboard && options.at_row) error = "--at and --storyboard are different captures; give one";
  else if (storyboard && !options.output.empty()) error = "--storyboard names its own file; leave out --output";
  else if (every_given && !storyboard) error = "--every is the step of a --storyboard";
  else if (fps_given && storyboard) error = "--fps is for the video; a storyboard takes --every";
  else if ((preset || quality || options.stats) && !video) error = "--preset, --quality and --stats are for the video";
  else if (options.at_row && (from_given || options.to_row)) error = "--from and --to are for the video and the storyboard; --at is one frame";
  else if (options.to_row && *options.to_row <= options.from_row) error = "--to must come after --from";
  else if (video && (options.width % 2 != 0 || options.height % 2 != 0))
    error = "--size " + std::to_string(options.width) + "x" + std::to_string(options.height) +
            ": a video's sides must be even (its colour is kept at half the size either way)";
  return error.empty();
}
