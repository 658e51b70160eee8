// hallshow-make: from photos and a song to a show folder that plays at once, its photo changes
// and moves on the song's beats.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>

#include "tools/authoring/show_files.h"
#include "tools/authoring/show_text.h"
#include "tools/make/audio_analysis.h"
#include "tools/make/catalogue_plan.h"
#include "tools/make/choreography.h"
#include "tools/make/escaped_text.h"
#include "tools/make/interruption.h"
#include "tools/make/make_options.h"
#include "tools/make/music_map.h"
#include "tools/make/photo_files.h"
#include "tools/make/photo_gathering.h"
#include "tools/make/photo_order.h"
#include "tools/make/progress.h"
#include "tools/make/scene_geometry.h"
#include "tools/make/show_folder.h"
#include "tools/make/song_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int EXIT_INTERRUPTED = 130;

// Pixels of each entry's file: photos sharp at the largest scale the choreography gives a layer;
// the cameo at its inset size; the blurred backdrop and the entries never loaded smaller.
int entry_side(EntryRole role) {
  switch (role) {
    case EntryRole::Photo:
    case EntryRole::Frame:
    case EntryRole::Iris: return sharp_side(MAX_LAYER_FACTOR);
    case EntryRole::Cameo: return sharp_side(0.8);
    case EntryRole::Backdrop:
    case EntryRole::Spare: return 1024;
    case EntryRole::Repeat: return 0;
  }
  return 0;
}

// Every line for the terminal goes through printable: file names may hold anything.
int fail(const std::string& message) {
  std::fprintf(stderr, "hallshow-make: %s\n", printable(message).c_str());
  return 1;
}

int stopped() {
  std::fprintf(stderr, "\nhallshow-make: interrupted; nothing was made\n");
  return EXIT_INTERRUPTED;
}

std::string clock_text(double seconds) {
  char buf[32];
  const int s = static_cast<int>(seconds + 0.5);
  std::snprintf(buf, sizeof buf, "%d:%02d", s / 60, s % 60);
  return buf;
}

std::string shell_word(const std::string& s) {
  if (s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._/-+") == std::string::npos)
    return s;
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// One run: what the steps have made so far, each handing on to the next. A step that cannot go on
// says why and returns false, leaving the program's exit code here.
struct Run {
  explicit Run(const MakeOptions& o) : options(o) {}

  // The message names what was being made by the target's name: the temporary folder it was made
  // in is gone by the time the message is read.
  bool fail(std::string message) {
    const std::string temp = folder.dir();
    for (size_t at; !temp.empty() && (at = message.find(temp)) != std::string::npos;)
      message.replace(at, temp.size(), options.out);
    exit_code = ::fail(message + "; nothing was made");
    return false;
  }
  bool stopped() {
    exit_code = ::stopped();
    return false;
  }

  const MakeOptions& options;
  int exit_code = 0;
  Progress progress{isatty(2) != 0};
  SongInfo song;
  ShowFolder folder;
  fs::path dir;                                // the folder being made
  std::vector<PhotoCandidate> photos;          // every photo that can be read, in the show's order
  std::vector<std::string> skipped;            // the files given that are not
  CataloguePlan plan;
  std::vector<std::array<double, 3>> crop_of;  // each photo's square: left, top, side
  MusicMap music;
};

// The options; an exit code when the run ends with them (a mistake, --help, --version).
std::optional<int> read_command_line(int argc, char** argv, MakeOptions& options) {
  std::string error;
  if (!parse_make_options(argc, argv, options, error)) {
    std::fprintf(stderr, "hallshow-make: %s\n%s", error.c_str(), MAKE_USAGE);
    return 2;
  }
  if (options.help) {
    std::fputs(MAKE_USAGE, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("hallshow-make %s\n", HALLSHOW_VERSION);
    return 0;
  }
  return std::nullopt;
}

bool check_the_song(Run& run) {
  std::string error;
  if (!probe_song(run.options.music, run.song, error)) {
    if (interrupted()) return run.stopped();
    return run.fail(run.options.music + ": " + error);
  }
  return true;
}

// Before anything is read: the target may not take what the show is made from.
bool begin_the_folder(Run& run) {
  std::string error;
  std::vector<std::string> inputs = run.options.inputs;
  inputs.push_back(run.options.music);
  if (!run.folder.begin(run.options.out, run.options.force, inputs, error)) return run.fail(error);
  run.dir = run.folder.dir();
  return true;
}

// Every readable photo, in the order they were taken (or shuffled), and the catalogue's plan for them.
bool read_the_photos(Run& run) {
  std::vector<std::string> problems;
  const std::vector<std::string> files = gather_photo_files(run.options.inputs, problems);
  for (const std::string& p : problems) run.progress.warn(p);
  run.progress.stage("photos");
  run.skipped = problems;
  std::string error;
  for (size_t i = 0; i < files.size(); ++i) {
    if (interrupted()) return run.stopped();
    run.progress.update(static_cast<double>(i) / files.size(), "reading " + std::to_string(i + 1) + "/" + std::to_string(files.size()));
    PhotoCandidate c;
    if (probe_photo(files[i], true, c, error)) {
      run.photos.push_back(c);
    } else {
      run.progress.warn(files[i] + ": " + error);
      run.skipped.push_back(files[i] + ": " + error);
    }
  }
  if (run.photos.empty()) {
    run.progress.end();
    return run.fail(files.empty() ? "no photos found in what was given" : "none of the files given is a photo that can be read");
  }
  order_photos(run.photos);
  if (run.options.shuffle) shuffle_photos(run.photos, run.options.seed);
  run.plan = plan_catalogue(static_cast<int>(run.photos.size()));
  return true;
}

// The catalogue: each used photo cropped once, then written into every entry that shows it.
bool write_the_catalogue(Run& run) {
  const fs::path& dir = run.dir;
  const std::vector<PhotoCandidate>& photos = run.photos;
  Progress& progress = run.progress;
  std::error_code ec;
  if (!fs::create_directory(dir / "hall.photo", ec) || ec)
    return run.fail("cannot make " + (dir / "hall.photo").string() + ": " + (ec ? ec.message() : "it exists"));
  std::map<int, std::vector<int>> entries_of;  // photo → entries
  for (const EntryPlan& e : run.plan.entries)
    if (e.photo >= 0) entries_of[e.photo].push_back(e.index);
  std::vector<std::array<double, 3>> crop_of(photos.size(), {0, 0, 0});
  // Two photos at a time: decoding a JPEG is one thread's work, and the machine has more cores.
  const std::vector<std::pair<int, std::vector<int>>> jobs(entries_of.begin(), entries_of.end());
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex lock;  // the progress line, `done` and the first failure
  size_t done = 0;
  std::string failure;
  auto work_on = [&] {
    for (size_t j; !failed && !interrupted() && (j = next++) < jobs.size();) {
      const auto& [photo, entries] = jobs[j];
      int side = 0;
      for (int e : entries) side = std::max(side, entry_side(ENTRY_ROLES[e]));
      CroppedPhoto square;
      std::string why;
      bool ok = make_square(photos[photo].path, side, square, why);
      if (!ok) why = photos[photo].path + ": " + why;
      for (size_t k = 0; ok && k < entries.size() && !interrupted(); ++k) {
        const int e = entries[k];
        const std::string path = (dir / PHOTO_CATALOGUE[e].path).string();
        ok = write_entry(square, entry_type(e), ENTRY_ROLES[e], std::min(square.side, entry_side(ENTRY_ROLES[e])), path, why);
        if (!ok) why = path + ": " + why;
      }
      std::lock_guard<std::mutex> hold(lock);
      if (!ok) {
        if (!failed.exchange(true)) failure = why;
        return;
      }
      crop_of[photo] = {square.crop_left, square.crop_top, square.crop_width};
      ++done;
      progress.update(static_cast<double>(done) / jobs.size(), std::to_string(done) + "/" + std::to_string(jobs.size()));
    }
  };
  auto work = [&] {
    try {
      work_on();
    } catch (const std::exception& e) {  // memory running out, a library's error: the run fails, cleanly
      std::lock_guard<std::mutex> hold(lock);
      if (!failed.exchange(true)) failure = e.what();
    }
  };
  {
    std::thread helper(work);
    work();
    helper.join();
  }
  if (interrupted()) return run.stopped();
  if (failed) {
    progress.end();
    return run.fail(failure);
  }
  progress.update(1, std::to_string(entries_of.size()) + "/" + std::to_string(entries_of.size()));
  run.crop_of = std::move(crop_of);
  return true;
}

// The song as the show's e12.mp3: copied when it is an MP3, encoded otherwise.
bool write_the_song(Run& run) {
  run.progress.stage(run.song.mp3 ? "music" : "encoding");
  std::string error;
  if (!make_song_file(run.options.music, run.song, (run.dir / "e12.mp3").string(), error)) {
    run.progress.end();
    if (interrupted()) return run.stopped();
    return run.fail(run.options.music + ": " + error);
  }
  run.progress.update(1);
  if (interrupted()) return run.stopped();
  return true;
}

// The beats and the bars of the song, heard from e12.mp3.
bool hear_the_music(Run& run) {
  run.progress.stage("analysis");
  AudioAnalysis heard;
  std::string error;
  if (!analyse_audio((run.dir / "e12.mp3").string(), heard, error, [&](double f) {
        run.progress.update(f);
        return !interrupted();
      })) {
    run.progress.end();
    if (interrupted()) return run.stopped();
    return run.fail(run.options.music + ": " + error);
  }
  run.progress.update(1);
  run.music = map_music(heard, run.options.beats_per_bar, run.options.bpm, run.options.bpm > 0);
  run.progress.end();
  if (!run.music.note.empty()) std::fprintf(stderr, "hallshow-make: %s\n", run.music.note.c_str());
  return true;
}

// The choreography as show.txt, and the track files built from it.
bool write_the_tracks(Run& run) {
  const MakeOptions& options = run.options;
  ChoreographyInput in{run.music, run.plan, options.style, options.seed, fs::path(options.music).filename().string()};
  const Choreography show = make_choreography(in);
  std::string error;
  if (!save_file((run.dir / "show.txt").string(), show.text, error)) return run.fail(error);
  const ShowText parsed = parse_show_text(show.text, "show.txt");
  if (!parsed.errors.empty()) return run.fail("internal error, the tracks do not read back: " + parsed.errors[0]);
  if (!write_track_files(parsed, run.dir.string(), error)) return run.fail(error);
  return true;
}

// photos.txt: which photo is in which entry, cropped where, for what.
bool write_the_photo_list(Run& run) {
  const CataloguePlan& plan = run.plan;
  std::ostringstream out;
  out << "# The photos of this show: each catalogue file of hall.photo/, the photo it was made from, the\n"
         "# square cut from it (left,top and side in the upright photo's pixels) and what the show does\n"
         "# with it. n in show.txt is the number at the start of the file name.\n";
  // One entry a line, however long its path; a name that would break the line or the terminal
  // showing the list is quoted (tools/make/escaped_text.h).
  const auto column = [](std::string text, size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text + " ";
  };
  for (const EntryPlan& e : plan.entries) {
    if (e.photo < 0) {
      out << column(std::to_string(e.index), 7) << column(role_name(e.role), 21) << "the file of entry 40\n";
      continue;
    }
    const auto& c = run.crop_of[e.photo];
    char crop[96];
    std::snprintf(crop, sizeof crop, "  crop %.0f,%.0f %.0f\n", c[0], c[1], c[2]);
    out << column(entry_file_name(e.index), 7) << column(role_name(e.role), 21) << quoted_name(run.photos[e.photo].path)
        << crop;
  }
  if (!plan.unused.empty()) {
    out << "\n# Not used: more photos than the show has places for (an even spread of them is used).\n";
    for (int p : plan.unused) out << "unused  " << quoted_name(run.photos[p].path) << "\n";
  }
  if (!run.skipped.empty()) {
    out << "\n# Skipped: not a photo that can be read.\n";
    for (const std::string& s : run.skipped) out << "skipped " << printable(s) << "\n";
  }
  std::string error;
  if (!save_file((run.dir / "photos.txt").string(), out.str(), error)) return run.fail(error);
  return true;
}

bool put_the_folder_in_place(Run& run) {
  if (interrupted()) return run.stopped();
  std::string error;
  if (!run.folder.finish(error)) return run.fail(error);
  return true;
}

void say_what_was_made(const Run& run) {
  const std::string& out = run.options.out;
  const std::string d = printable(shell_word(out));
  std::printf("hallshow-make: %s made: %zu photos%s, %.1f beats a minute, %s. Open it in the studio with "
              "'cd %s && hallshow-studio', play it with 'cd %s && hallshow', capture it with "
              "'cd %s && hallshow-capture'\n",
              printable(out).c_str(), run.plan.used.size(),
              run.plan.unused.empty() ? "" : (" (" + std::to_string(run.plan.unused.size()) + " left out)").c_str(),
              run.music.bpm, clock_text(run.music.end).c_str(), d.c_str(), d.c_str(), d.c_str());
}

}  // namespace

int main(int argc, char** argv) try {
  MakeOptions options;
  if (const std::optional<int> exit_code = read_command_line(argc, argv, options)) return *exit_code;
  catch_interruptions();
  if (!start_photo_library(argv[0])) return fail("cannot start libvips");
  Run run(options);
  try {
    // The target first, before anything is read; then the song: a wrong file should not cost the
    // photos' time.
    const bool made = begin_the_folder(run) && check_the_song(run) && read_the_photos(run) &&
                      write_the_catalogue(run) && write_the_song(run) && hear_the_music(run) &&
                      write_the_tracks(run) && write_the_photo_list(run) && put_the_folder_in_place(run);
    if (!made) return run.exit_code;
  } catch (const std::exception& e) {
    // A file system error thrown rather than returned (no inode left), memory running out: said
    // like any other failure, with the temporary folder removed as the run ends.
    run.progress.end();
    run.fail(e.what());
    return run.exit_code;
  }
  say_what_was_made(run);
  return 0;
} catch (const std::exception& e) {
  return fail(e.what());
}
