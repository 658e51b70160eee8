#include "tools/make/music/song_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "png/regular_file.h"
#include "tools/make/interruption.h"
#include "tools/process/child_process.h"

namespace {

std::string last_line(const std::string& s) {
  std::string t = s;
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
  const size_t nl = t.rfind('\n');
  return nl == std::string::npos ? t : t.substr(nl + 1);
}

// A file's name as ffmpeg and ffprobe must take it: "12:00 live.wav" would be a protocol to them,
// "-song.mp3" an option. Their file protocol with the absolute path is only ever that file.
std::string file_url(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return "file:" + (ec ? path : absolute.string());
}

// Seconds with as many decimals as it takes to tell them from `limit` (at least one, at most six):
// 900.05 s is not "15 minutes", nor 9.96 s "10.0 s". A whole `limit` itself is written whole.
std::string exact_seconds(double seconds, double limit) {
  char text[64];
  if (limit == 0 && seconds == std::floor(seconds)) {
    std::snprintf(text, sizeof text, "%.0f", seconds);
    return text;
  }
  for (int decimals = 1; decimals <= 6; ++decimals) {
    std::snprintf(text, sizeof text, "%.*f", decimals, seconds);
    char bound[64];
    std::snprintf(bound, sizeof bound, "%.*f", decimals, limit);
    if (std::string(text) != bound) break;
  }
  std::string s = text;
  while (s.size() > 2 && s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
  return s;
}

std::string field(const std::string& text, const std::string& name) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (line.starts_with(name + "=")) return line.substr(name.size() + 1);
  return {};
}

}  // namespace

bool probe_song(const std::string& path, SongInfo& info, std::string& why) {
  std::error_code ec;
  if (!RegularFile(path).is_open()) {  // a FIFO would hold ffprobe for ever, a device never end
    why = std::filesystem::exists(path, ec) ? "is not a regular file (a FIFO, a device or a folder)"
                                            : "does not exist or cannot be read";
    return false;
  }
  const ChildResult r = run_program({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                                     "stream=codec_name,duration:format=format_name,duration", "-of",
                                     "default=noprint_wrappers=1", file_url(path)},
                                    interrupted);
  if (r.interrupted) return false;
  if (r.exit_code < 0 && r.output.empty()) {
    why = "cannot run ffprobe (is ffmpeg installed?)";
    return false;
  }
  info.codec = field(r.output, "codec_name");
  if (r.exit_code != 0 || info.codec.empty()) {
    why = "is not audio: no sound can be read from it";
    return false;
  }
  // The stream's own duration where there is one; the container's otherwise.
  std::string d = field(r.output, "duration");
  double seconds = d.empty() || d == "N/A" ? 0 : std::strtod(d.c_str(), nullptr);
  if (!(seconds > 0)) {
    const size_t at = r.output.rfind("duration=");
    if (at != std::string::npos) seconds = std::strtod(r.output.c_str() + at + 9, nullptr);
  }
  if (!(seconds > 0) || !std::isfinite(seconds)) {
    why = "has no length that can be read (is it a stream?)";
    return false;
  }
  info.seconds = seconds;
  if (seconds < MIN_SONG_SECONDS) {
    why = "is " + exact_seconds(seconds, MIN_SONG_SECONDS) + " s long; a show needs at least " +
          exact_seconds(MIN_SONG_SECONDS, 0) + " s of music";
    return false;
  }
  if (seconds > MAX_SONG_SECONDS) {
    why = "is " + exact_seconds(seconds, MAX_SONG_SECONDS) + " s long; a show takes at most " +
          exact_seconds(MAX_SONG_SECONDS, 0) + " s (15 minutes) of music";
    return false;
  }
  info.mp3 = info.codec == "mp3" && field(r.output, "format_name") == "mp3";
  return true;
}

bool make_song_file(const std::string& path, const SongInfo& info, const std::string& target, std::string& why) {
  if (info.mp3) {
    std::error_code ec;
    std::filesystem::copy_file(path, target, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) why = "cannot copy to " + target + ": " + ec.message();
    return !ec;
  }
  // Bit-exact flags and no metadata: the same song always makes the same bytes.
  const ChildResult r = run_program({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", file_url(path), "-map", "0:a:0",
                                     "-vn", "-c:a", "libmp3lame", "-q:a", "2", "-ar", "44100", "-map_metadata", "-1",
                                     "-fflags", "+bitexact", "-flags:a", "+bitexact", "-f", "mp3", file_url(target)},
                                    interrupted);
  if (r.interrupted) return false;
  if (r.exit_code != 0) {
    why = "cannot be encoded to MP3: " + (r.errors.empty() ? std::string("ffmpeg failed") : last_line(r.errors));
    return false;
  }
  return true;
}

bool join_song_files(const std::vector<std::string>& paths, double crossfade, double length, double fade,
                     const std::string& target, std::string& why, bool (*stop)()) {
  // Every song brought to one rate and layout first: the crossfade takes two alike.
  std::string graph;
  char step[200];
  for (size_t i = 0; i < paths.size(); ++i) {
    std::snprintf(step, sizeof step, "[%zu:a]aresample=44100,aformat=sample_fmts=fltp:channel_layouts=stereo[s%zu];", i, i);
    graph += step;
  }
  std::string last = "s0";
  for (size_t i = 1; i < paths.size(); ++i) {
    std::snprintf(step, sizeof step, "[%s][s%zu]acrossfade=d=%.3f:c1=tri:c2=tri[x%zu];", last.c_str(), i, crossfade, i);
    graph += step;
    last = "x" + std::to_string(i);
  }
  if (length > 0) {
    std::snprintf(step, sizeof step, "[%s]atrim=end=%.6f,afade=t=out:st=%.6f:d=%.6f[out]", last.c_str(), length,
                  std::max(0.0, length - fade), fade);
  } else {
    std::snprintf(step, sizeof step, "[%s]anull[out]", last.c_str());
  }
  graph += step;
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  for (const std::string& p : paths) argv.insert(argv.end(), {"-i", p});
  // Bit-exact flags and no metadata: the same songs always make the same bytes.
  argv.insert(argv.end(), {"-filter_complex", graph, "-map", "[out]", "-c:a", "libmp3lame", "-q:a", "2", "-ar", "44100",
                           "-map_metadata", "-1", "-fflags", "+bitexact", "-flags:a", "+bitexact", "-f", "mp3", target});
  const ChildResult r = run_program(argv, stop);
  if (r.interrupted) return false;
  if (r.exit_code != 0) {
    why = "the songs cannot be joined: " + (r.errors.empty() ? std::string("ffmpeg failed") : last_line(r.errors));
    return false;
  }
  return true;
}
