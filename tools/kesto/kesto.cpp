// kesto: the track tool. Builds a show's binary track files from one text file, prints a track
// file back as text, and evaluates a track file at a row with the show's own track code.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "show/music_clock.h"
#include "sync/sync_track.h"
#include "sync/track_file.h"
#include "tools/authoring/photo_check.h"
#include "tools/authoring/scene_track_names.h"
#include "tools/authoring/show_files.h"
#include "tools/authoring/show_text.h"

namespace fs = std::filesystem;

namespace {

constexpr char USAGE[] =
    "usage: kesto build SHOW.txt DIR   write DIR/kestos/base_<track>.kesto for all 22 tracks of SHOW.txt\n"
    "       kesto text [DIR]           print the show text of DIR's kestos/ (all 22 tracks)\n"
    "       kesto check [DIR]          what is wrong with the photos the show in DIR would show\n"
    "       kesto dump FILE            print a binary track file as text\n"
    "       kesto eval FILE ROW        the value the show computes at ROW (rows, or seconds as \"12.5s\")\n"
    "       kesto --help | --version\n"
    "SHOW.txt: a track name alone on a line, then its keys, one a line: TIME VALUE INTERPOLATION,\n"
    "  TIME in rows (20 a second) or in seconds on a whole row (\"12.5s\"), rows increasing;\n"
    "  INTERPOLATION step, linear, smooth or ramp (from this key to the next); '#' starts a comment.\n"
    "  \"bpm N\" and \"beats N\" lines give the tempo to hallshow-studio; build ignores them.\n"
    "  A track the text leaves out is written with its default: colours 1, a layer none of whose\n"
    "  tracks is named hidden (scale -1), no \"happy\": the end of DIR/e12.mp3; anything else 0.\n";

int build(const std::string& show_path, const std::string& dir) {
  std::string text;
  if (!read_whole_file(show_path, text)) {
    std::fprintf(stderr, "kesto: cannot read %s\n", show_path.c_str());
    return 1;
  }
  const ShowText show = parse_show_text(text, show_path);
  if (!show.errors.empty()) {
    for (const std::string& e : show.errors) std::fprintf(stderr, "%s\n", e.c_str());
    std::fprintf(stderr, "kesto: %zu error%s, nothing written\n", show.errors.size(),
                 show.errors.size() == 1 ? "" : "s");
    return 1;
  }
  std::string error;
  if (!write_track_files(show, dir, error)) {
    std::fprintf(stderr, "kesto: %s\n", error.c_str());
    return 1;
  }
  const size_t given = show.tracks.size();
  std::printf("kesto: %zu track%s from the text and %zu default%s written to %s\n", given, given == 1 ? "" : "s",
              KESTO_TRACK_NAMES.size() - given, KESTO_TRACK_NAMES.size() - given == 1 ? "" : "s",
              (fs::path(dir) / "kestos").c_str());
  return 0;
}

// The whole show of a folder as text: every track the show reads, in the order it binds them, so
// that building the text writes the very same files. A missing file reads 0 everywhere, as a
// track without keys does.
int text(const std::string& dir) {
  std::string out = "# the tracks of " + (fs::path(dir) / "kestos").string() + "\n";
  int faults = 0;
  for (std::string_view name : KESTO_TRACK_NAMES) {
    const fs::path path = fs::path(dir) / track_file_name(name);
    std::vector<TrackKey> keys;
    std::string bytes, error;
    if (!read_whole_file(path.string(), bytes)) {
      out += "\n# " + std::string(name) + ": no file, reads 0\n" + format_track_text(name, keys);
      continue;
    }
    if (!decode_track_file(bytes, keys, error)) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
      ++faults;
      continue;
    }
    out += "\n" + format_track_text(name, keys);
  }
  if (faults > 0) {
    std::fprintf(stderr, "kesto: %d damaged track file%s, no text printed\n", faults, faults == 1 ? "" : "s");
    return 1;
  }
  std::fputs(out.c_str(), stdout);
  return 0;
}

// The track's name from its file name, "…/base_back.x.kesto" → "back.x", so the dump builds back
// into the same file.
std::string track_name_of(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  if (name.starts_with("base_")) name.erase(0, 5);
  if (name.ends_with(".kesto")) name.erase(name.size() - 6);
  return name;
}

int dump(const std::string& path) {
  std::string bytes;
  if (!read_whole_file(path, bytes)) {
    std::fprintf(stderr, "kesto: cannot read %s\n", path.c_str());
    return 1;
  }
  std::vector<TrackKey> keys;
  std::string error;
  if (!decode_track_file(bytes, keys, error)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  std::printf("# %s: %zu key%s\n%s", path.c_str(), keys.size(), keys.size() == 1 ? "" : "s",
              format_track_text(track_name_of(path), keys).c_str());
  return 0;
}

// The photos against the tracks the show in DIR reads (its kestos/, as hallshow reads them).
int check(const std::string& dir) {
  std::vector<SyncTrack> tracks(KESTO_TRACK_NAMES.size());
  std::vector<const SyncTrack*> handles;
  for (size_t i = 0; i < tracks.size(); ++i) {
    tracks[i].name = std::string(KESTO_TRACK_NAMES[i]);
    load_track_file((fs::path(dir) / track_file_name(tracks[i].name)).string(), tracks[i]);
    handles.push_back(&tracks[i]);
  }
  PhotoFileCache cache;
  const std::vector<PhotoProblem> problems = check_photos(dir, handles, cache);
  size_t unintended = 0;
  for (const PhotoProblem& p : problems) {
    std::printf("%s\n", p.message.c_str());
    unintended += p.unintended;
  }
  if (problems.empty())
    std::printf("kesto: the photos are fine\n");
  else
    std::printf("kesto: %zu photo problem%s, %zu of them showing what the author did not mean\n", problems.size(),
                problems.size() == 1 ? "" : "s", unintended);
  return unintended > 0 ? 1 : 0;
}

// A row as the show has them, fraction kept: "123.45", or seconds, "6.2s".
bool parse_row(std::string w, double& row) {
  bool seconds = w.size() > 1 && w.back() == 's';
  if (seconds) w.pop_back();
  const char* p = w.data();
  const char* end = w.data() + w.size();
  if (p != end && *p == '+') ++p;
  auto [q, ec] = std::from_chars(p, end, row);
  if (ec != std::errc() || q != end || !std::isfinite(row)) return false;
  if (seconds) row *= ROW_RATE;
  return true;
}

int eval(const std::string& path, const std::string& row_text) {
  double row = 0;
  if (!parse_row(row_text, row)) {
    std::fprintf(stderr, "kesto: row '%s' is not a number of rows or seconds (\"123.5\", \"6.2s\")\n",
                 row_text.c_str());
    return 2;
  }
  SyncTrack track;
  track.name = track_name_of(path);
  const int loaded = load_track_file(path, track);
  if (loaded == 1) {
    std::fprintf(stderr, "kesto: cannot open %s\n", path.c_str());
    return 1;
  }
  // A damaged file still plays: say so, then give what the show makes of it.
  if (loaded != 0)
    std::fprintf(stderr, "kesto: %s is damaged (%s); the show reads %zu keys of it\n", path.c_str(),
                 describe_track_file_result(loaded), track.keys.size());
  std::printf("%s\n", format_float(get_value(track, row)).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "build" && argc == 4) return build(argv[2], argv[3]);
  if (command == "text" && (argc == 2 || argc == 3)) return text(argc == 3 ? argv[2] : ".");
  if (command == "check" && (argc == 2 || argc == 3)) return check(argc == 3 ? argv[2] : ".");
  if (command == "dump" && argc == 3) return dump(argv[2]);
  if (command == "eval" && argc == 4) return eval(argv[2], argv[3]);
  if ((command == "--help" || command == "-h") && argc == 2) {
    std::fputs(USAGE, stdout);
    return 0;
  }
  if (command == "--version" && argc == 2) {
    std::printf("kesto %s\n", HALLSHOW_VERSION);
    return 0;
  }
  std::fputs(USAGE, stderr);
  return 2;
}
