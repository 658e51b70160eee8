// hallshow-make: from photos and a song to a show folder that plays at once, every photo whole on
// screen, its changes and moves on the song's beats.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "photos/open_entries.h"
#include "photos/open_photo_size.h"
#include "tools/authoring/show_files.h"
#include "tools/authoring/show_text.h"
#include "tools/make/music/audio_analysis.h"
#include "tools/make/show/catalogue_plan.h"
#include "tools/make/show/choreography.h"
#include "tools/make/escaped_text.h"
#include "tools/make/interruption.h"
#include "tools/make/make_options.h"
#include "tools/make/music/music_map.h"
#include "tools/make/parallel_jobs.h"
#include "tools/make/photos/photo_files.h"
#include "tools/make/photos/photo_gathering.h"
#include "tools/make/photos/photo_order.h"
#include "tools/make/photos/photo_quality.h"
#include "tools/make/photos/photo_selection.h"
#include "tools/make/progress.h"
#include "tools/make/show/scene_geometry.h"
#include "tools/make/show/show_folder.h"
#include "tools/make/show_cards.h"
#include "tools/make/music/song_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int EXIT_INTERRUPTED = 130;

// At most this much music in all: an hour's show.
constexpr double MAX_MUSIC_SECONDS = 60 * 60.0;

// Set when the run fails while the music is still being heard or encoded, which then stops.
std::atomic<bool> cancelled{false};
bool stopping() { return interrupted() || cancelled; }

// The catalogue's accents are loaded whole at start-up: sharp enough for a 1080p screen at the
// size they are shown, and never so large that they hold up the start.
constexpr int ACCENT_SIDE_MAX = 2048;

int accent_side(EntryRole role) {
  switch (role) {
    case EntryRole::Cameo: return sharp_side(0.8);
    case EntryRole::Backdrop: return 1024;  // blurred: more pixels would show nothing more
    default: return ACCENT_SIDE_MAX;
  }
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
  ~Run() {
    cancelled = true;
    if (listener.joinable()) listener.join();
    if (encoder.joinable()) encoder.join();
  }

  // The message names what was being made by the target's name: the temporary folder it was made
  // in is gone by the time the message is read.
  bool fail(std::string message) {
    progress.end();
    const std::string temp = folder.dir();
    for (size_t at; !temp.empty() && (at = message.find(temp)) != std::string::npos;)
      message.replace(at, temp.size(), options.out);
    exit_code = ::fail(message + "; nothing was made");
    return false;
  }
  bool stopped() {
    progress.end();
    exit_code = ::stopped();
    return false;
  }

  const MakeOptions& options;
  int exit_code = 0;
  Progress progress{isatty(2) != 0};
  std::vector<SongInfo> songs;          // of options.music
  bool copy_song = false;               // one MP3 played as it is, copied as e12.mp3
  std::vector<SongPart> parts;          // each song mapped on its own
  // The music is heard while the photos are read, and encoded while they are written.
  std::thread listener, encoder;
  std::atomic<double> heard{0};         // how much of the music has been heard
  std::atomic<bool> listened{false}, encoded{false};
  std::atomic<bool> listening{false};   // the listener is at work
  std::string music_error;              // why the music could not be heard or encoded
  ShowFolder folder;
  fs::path dir;                        // the folder being made
  std::vector<PhotoCandidate> photos;  // every photo that can be read, in the show's order
  std::vector<std::string> skipped;    // the files given that are not
  std::vector<std::pair<std::string, std::string>> repeats;  // a photo, and the one it repeats
  MusicMap music;
  PhotoSelection selection;            // of `photos`, by the room the music has
  std::vector<CatalogueAccent> accents;
  Choreography show;
  std::vector<int> shown;              // of `photos`, those on screen, in show order
  std::vector<int> left_out;           // of `photos`, those not on screen
  std::vector<WrittenPhoto> written;   // each of `shown`, as written
  CardPlan card_plan;                  // what the cards and captions say
  std::vector<ShowCard> cards;         // over the photos chosen; those on screen are written
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

// Every song is audio of a length a show can take, and --length lies within the music.
bool check_the_songs(Run& run) {
  double total = 0;
  for (const std::string& path : run.options.music) {
    SongInfo info;
    std::string error;
    if (!probe_song(path, info, error)) {
      if (interrupted()) return run.stopped();
      return run.fail(path + ": " + error);
    }
    total += info.seconds - (run.songs.empty() ? 0.0 : CROSSFADE_SECONDS);
    run.songs.push_back(info);
  }
  if (total > MAX_MUSIC_SECONDS)
    return run.fail("the songs last " + clock_text(total) + "; a show takes at most " + clock_text(MAX_MUSIC_SECONDS) + " of music");
  const double length = run.options.length;
  if (length > 0 && length < MIN_SONG_SECONDS)
    return run.fail("--length " + clock_text(length) + " is too short; a show needs at least " +
                    std::to_string(static_cast<int>(MIN_SONG_SECONDS)) + " s of music");
  if (length > total + 0.05)
    return run.fail("--length " + clock_text(length) + " is longer than the music (" + clock_text(total) + ")");
  run.copy_song = run.songs.size() == 1 && run.songs[0].mp3 && length <= 0;
  return true;
}

bool begin_the_folder(Run& run) {
  std::string error;
  std::vector<std::string> inputs = run.options.inputs;
  inputs.insert(inputs.end(), run.options.music.begin(), run.options.music.end());
  if (!run.folder.begin(run.options.out, run.options.force, inputs, error)) return run.fail(error);
  run.dir = run.folder.dir();
  return true;
}

// Every readable photo, in the order they were taken (or shuffled). Each is decoded once at a small
// size, so that a damaged one is known before the show is planned around it.
bool read_the_photos(Run& run) {
  std::vector<std::string> problems;
  const std::vector<std::string> files = gather_photo_files(run.options.inputs, problems);
  for (const std::string& p : problems) run.progress.warn(p);
  run.progress.stage("photos");
  run.skipped = problems;
  std::vector<std::optional<PhotoCandidate>> read(files.size());
  std::vector<std::string> errors(files.size());
  std::mutex lock;
  size_t done = 0;
  run_parallel(files.size(), [&](size_t i) {
    PhotoCandidate c;
    std::string why;
    const bool ok = probe_photo(files[i], true, c, why);
    std::lock_guard<std::mutex> hold(lock);
    if (ok) read[i] = c;
    else errors[i] = files[i] + ": " + why;
    ++done;
    run.progress.update(static_cast<double>(done) / files.size(), "reading " + std::to_string(done) + "/" + std::to_string(files.size()));
    return true;
  }, interrupted);
  if (interrupted()) return run.stopped();
  for (size_t i = 0; i < files.size(); ++i) {
    if (read[i]) {
      run.photos.push_back(*read[i]);
    } else {
      run.progress.warn(errors[i]);
      run.skipped.push_back(errors[i]);
    }
  }
  if (run.photos.empty())
    return run.fail(files.empty() ? "no photos found in what was given" : "none of the files given is a photo that can be read");
  order_photos(run.photos);
  return true;
}

// Each picture once: of the same picture under two names, or the shots of a burst, the sharpest
// is shown. Small, blurred and nearly black photos are told of.
bool look_at_the_photos(Run& run) {
  const Duplicates d = find_duplicates(run.photos);
  std::vector<PhotoCandidate> kept;
  for (size_t i = 0; i < run.photos.size(); ++i) {
    if (d.same_as[i] < 0) kept.push_back(run.photos[i]);
    else run.repeats.push_back({run.photos[i].path, run.photos[d.same_as[i]].path});
  }
  run.photos = std::move(kept);
  if (!run.repeats.empty())
    run.progress.warn("hallshow-make: " + std::to_string(run.repeats.size()) +
                      (run.repeats.size() == 1 ? " photo repeats another" : " photos repeat others") +
                      " (the same picture, or a shot of the same burst): each picture is shown once; photos.txt lists them");
  int poor = 0;
  for (const PhotoCandidate& p : run.photos) {
    const int long_side = run.options.square ? std::min(p.width, p.height) : std::max(p.width, p.height);
    if (unenlarged_factor(long_side) < SMALL_PHOTO_FACTOR)
      run.progress.warn("hallshow-make: " + p.path + ": " + std::to_string(p.width) + "x" + std::to_string(p.height) +
                        " pixels is small for the screen: it is shown smaller, its pixels at most doubled");
    poor += !photo_flaw(p).empty();
  }
  if (poor > 0)
    run.progress.warn("hallshow-make: " + std::to_string(poor) + (poor == 1 ? " photo is" : " photos are") +
                      " blurred, nearly black or without detail: shown last when there is room for fewer; photos.txt lists them");
  if (run.options.shuffle) shuffle_photos(run.photos, run.options.seed);
  return true;
}

// Where and when the photos were taken, in chapters, and what the cards and captions say.
bool plan_the_cards(Run& run) {
  std::vector<std::string> warnings;
  run.card_plan = plan_cards(run.photos, run.options, warnings);
  for (const std::string& w : warnings) run.progress.warn(w);
  return true;
}

// Each song heard on its own (its tempo, bar one and sections), then one map over the music they
// make joined in order. One MP3 played as it is is copied as e12.mp3 first and heard from it, as
// the show decodes it; other songs are decoded by ffmpeg, and e12.mp3 is made from them later,
// once the last bar (over which --length fades the music) is known.
void hear_each_song(Run& run) {
  const MakeOptions& o = run.options;
  const std::string target = (run.dir / "e12.mp3").string();
  double start = 0, done = 0, total = 0;
  for (const SongInfo& s : run.songs) total += s.seconds;
  for (size_t i = 0; i < o.music.size() && !stopping(); ++i) {
    const std::string& path = o.music[i];
    AudioAnalysis heard;
    std::string error;
    auto progress = [&](double f) {
      run.heard = (done + f * run.songs[i].seconds) / total;
      return !stopping();
    };
    bool ok;
    if (run.copy_song) {
      ok = make_song_file(path, run.songs[i], target, error) && analyse_audio(target, heard, error, progress);
    } else {
      ok = analyse_song(path, run.songs[i].seconds, heard, error, progress);
    }
    if (!ok) {
      if (!stopping()) run.music_error = path + ": " + error;
      return;
    }
    SongPart part{fs::path(path).filename().string(), map_music(heard, o.beats_per_bar, o.bpm, o.bpm > 0), start};
    run.parts.push_back(part);
    start += heard.duration - CROSSFADE_SECONDS;
    done += run.songs[i].seconds;
  }
  if (stopping()) return;
  run.music = join_songs(run.parts, CROSSFADE_SECONDS, o.length);
  run.listened = true;
}

bool start_listening(Run& run) {
  run.listening = true;
  run.listener = std::thread([&run] {
    try {
      hear_each_song(run);
    } catch (const std::exception& e) {  // memory running out: the run fails, cleanly
      run.music_error = e.what();
    }
    run.listening = false;
  });
  return true;
}

// The music heard: its tempo, said for each song.
bool hear_the_music(Run& run) {
  run.progress.stage("music");
  while (run.listening) {
    run.progress.update(run.heard);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (run.listener.joinable()) run.listener.join();
  if (interrupted()) return run.stopped();
  if (!run.music_error.empty()) return run.fail(run.music_error);
  run.progress.update(1);
  run.progress.end();
  for (const SongPart& part : run.parts)
    std::fprintf(stderr, "hallshow-make: %s: %s\n", printable(part.name).c_str(),
                 describe_tempo(part.map, run.options.bpm > 0).c_str());
  return true;
}

// e12.mp3 from the songs, in the background while the photos are written: joined with crossfades,
// and with --length cut there and faded out over the last bar.
bool start_encoding(Run& run) {
  if (run.copy_song) {
    run.encoded = true;
    return true;
  }
  const double end = run.music.end;
  const double fade = run.options.length > 0 ? run.music.beats_per_bar * 60.0 / run.music.bpm_at(end) : 0;
  run.encoder = std::thread([&run, end, fade] {
    std::string error;
    try {
      if (join_song_files(run.options.music, CROSSFADE_SECONDS, run.options.length > 0 ? end : 0, fade,
                          (run.dir / "e12.mp3").string(), error, stopping))
        run.encoded = true;
      else if (!stopping())
        run.music_error = error;
    } catch (const std::exception& e) {
      run.music_error = e.what();
    }
  });
  return true;
}

bool finish_encoding(Run& run) {
  if (run.encoder.joinable()) {
    run.progress.stage("encoding");
    run.encoder.join();
  }
  if (interrupted()) return run.stopped();
  if (!run.encoded) return run.fail(run.music_error.empty() ? "the music could not be encoded" : run.music_error);
  return true;
}

// As many photos as the music has room for at the style's pace: all of them, or an even spread
// that keeps the first and the last. Then the tracks, which say how large each photo is shown.
bool choreograph(Run& run) {
  const int count = static_cast<int>(run.photos.size());
  std::vector<bool> poor;
  for (const PhotoCandidate& p : run.photos) poor.push_back(!photo_flaw(p).empty());
  run.selection = select_photos(count, photo_capacity(run.music.end, run.options.style), poor);
  std::vector<ShowPhoto> photos;
  for (size_t k = 0; k < run.selection.shown.size(); ++k) {
    const PhotoCandidate& c = run.photos[run.selection.shown[k]];
    const double aspect = run.options.square ? 1.0 : static_cast<double>(c.width) / c.height;
    const int long_side = run.options.square ? std::min(c.width, c.height) : std::max(c.width, c.height);
    photos.push_back(ShowPhoto{static_cast<int>(OPEN_ENTRY_FIRST + k), aspect, printable(fs::path(c.path).filename().string()),
                               unenlarged_factor(long_side)});
  }
  run.accents = plan_accents(static_cast<int>(photos.size()), 0);
  AccentEntries accents;
  for (const CatalogueAccent& a : run.accents) {
    if (a.role == EntryRole::Backdrop) accents.backdrop = true;
    if (a.role == EntryRole::Cameo) accents.cameos.push_back(a.index);
    if (a.role == EntryRole::Frame) accents.frame = a.index;
    if (a.role == EntryRole::Iris) accents.iris = a.index;
  }
  std::string names;
  for (const SongPart& part : run.parts) names += (names.empty() ? "" : "\", \"") + printable(part.name);
  run.cards = place_cards(run.card_plan, run.options, run.selection.shown, static_cast<int>(OPEN_ENTRY_FIRST + photos.size()));
  ChoreographyInput in{run.music, photos, accents, run.options.style, run.options.seed, names, run.cards};
  run.show = make_choreography(in);
  std::vector<bool> on_screen(count, false);
  for (int k : run.show.shown) on_screen[run.selection.shown[k]] = true;
  for (int p = 0; p < count; ++p) (on_screen[p] ? run.shown : run.left_out).push_back(p);
  if (!run.left_out.empty()) {
    const char* style = run.options.style == ShowStyle::Calm ? "calm" : "lively";
    std::fprintf(stderr,
                 "hallshow-make: %zu of the %d photos are shown: %s of music has room for them at the %s pace (%g a "
                 "minute); %s would show them all. An even spread from the first to the last is shown; photos.txt "
                 "lists the rest.\n",
                 run.shown.size(), count, clock_text(run.music.end).c_str(), style,
                 photos_per_minute(run.options.style), clock_text(music_needed(count, run.options.style)).c_str());
  }
  return true;
}

// Every photo on screen as an open entry, as large as a 4K screen shows it at the largest scale
// the tracks give it and no larger; then the catalogue's accents.
bool write_the_photos(Run& run) {
  const fs::path folder = run.dir / "hall.photo";
  std::error_code ec;
  if (!fs::create_directory(folder, ec) || ec)
    return run.fail("cannot make " + folder.string() + ": " + (ec ? ec.message() : "it exists"));
  run.progress.stage("writing");
  const size_t photos = run.shown.size(), jobs = photos + run.accents.size();
  run.written.assign(photos, WrittenPhoto{});
  std::mutex lock;
  size_t done = 0;
  std::string failure;
  const bool ok = run_parallel(jobs, [&](size_t j) {
    std::string why;
    bool ok = true;
    if (j < photos) {
      const int number = static_cast<int>(OPEN_ENTRY_FIRST + std::find(run.selection.shown.begin(), run.selection.shown.end(), run.shown[j]) -
                                          run.selection.shown.begin());
      const double factor = run.show.largest_factor.count(number) ? run.show.largest_factor.at(number) : 1.0;
      const int long_side = static_cast<int>(open_photo_long_side(SHARP_SCREEN_HEIGHT, static_cast<float>(factor), 16384));
      const PhotoCandidate& photo = run.photos[run.shown[j]];
      const PhotoCaption caption = caption_of(run.card_plan, run.shown[j], run.show, number);
      ok = write_open_photo(photo, number, long_side, run.options.square, folder.string(), run.written[j], why,
                            caption.text.empty() ? nullptr : &caption);
      if (!ok) why = photo.path + ": " + why;
    } else {
      const CatalogueAccent& a = run.accents[j - photos];
      const PhotoCandidate& photo = run.photos[run.shown[std::min<size_t>(a.photo, photos - 1)]];
      CroppedPhoto square;
      ok = make_square(photo.path, accent_side(a.role), square, why);
      if (!ok) why = photo.path + ": " + why;
      const std::string path = (run.dir / PHOTO_CATALOGUE[a.index].path).string();
      if (ok) ok = write_entry(square, entry_type(a.index), entry_cutout(a.role), a.role == EntryRole::Backdrop,
                                std::min(square.side, accent_side(a.role)), path, why);
      if (!ok && why.find(photo.path) != 0) why = path + ": " + why;
    }
    std::lock_guard<std::mutex> hold(lock);
    if (!ok && failure.empty()) failure = why;
    ++done;
    run.progress.update(static_cast<double>(done) / jobs, std::to_string(done) + "/" + std::to_string(jobs));
    return ok;
  }, interrupted);
  if (interrupted()) return run.stopped();
  if (!ok) return run.fail(failure);
  run.progress.end();
  return true;
}

// The cards on screen as open entries after the photos, and their texts in cards.txt to edit.
bool write_the_cards(Run& run) {
  std::vector<ShowCard> shown;
  for (int c : run.show.cards_shown) shown.push_back(run.cards[c]);
  run.cards = shown;
  if (shown.empty()) return true;
  run.progress.stage("cards");
  const std::string folder = (run.dir / "hall.photo").string();
  std::mutex lock;
  std::string failure;
  size_t done = 0;
  const bool ok = run_parallel(shown.size(), [&](size_t k) {
    std::string why;
    const bool fine = write_card(shown[k].text, shown[k].title ? CardKind::Title : CardKind::Chapter, shown[k].entry, folder, why);
    std::lock_guard<std::mutex> hold(lock);
    if (!fine && failure.empty()) failure = folder + "/" + std::to_string(shown[k].entry) + ".png: " + why;
    ++done;
    run.progress.update(static_cast<double>(done) / shown.size());
    return fine;
  }, interrupted);
  if (interrupted()) return run.stopped();
  if (!ok) return run.fail(failure);
  run.progress.end();
  std::string error;
  if (!save_file((run.dir / "cards.txt").string(), cards_text(shown), error)) return run.fail(error);
  return true;
}

// The choreography as show.txt, and the track files built from it.
bool write_the_tracks(Run& run) {
  std::string error;
  if (!save_file((run.dir / "show.txt").string(), run.show.text, error)) return run.fail(error);
  const ShowText parsed = parse_show_text(run.show.text, "show.txt");
  if (!parsed.errors.empty()) return run.fail("internal error, the tracks do not read back: " + parsed.errors[0]);
  if (!write_track_files(parsed, run.dir.string(), error)) return run.fail(error);
  return true;
}

// photos.txt: which photo is in which file, as what.
bool write_the_photo_list(Run& run) {
  std::ostringstream out;
  out << "# The photos of this show: each file of hall.photo/, the photo it was made from and how. n in\n"
         "# show.txt is the number at the start of the file name.\n";
  // One entry a line, however long its path; a name that would break the line or the terminal
  // showing the list is quoted (tools/make/escaped_text.h).
  const auto column = [](std::string text, size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text + " ";
  };
  char line[160];
  for (size_t j = 0; j < run.shown.size(); ++j) {
    const WrittenPhoto& w = run.written[j];
    std::string how = w.copied ? "copied, its metadata left behind" : "upright, in sRGB";
    if (w.crop_side > 0) {
      std::snprintf(line, sizeof line, ", the square %.0f,%.0f %.0f cut from it", w.crop_left, w.crop_top, w.crop_side);
      how += line;
    }
    out << column(w.file, 9) << column("photo", 8) << quoted_name(run.photos[run.shown[j]].path) << "  " << w.width
        << "x" << w.height << " " << how << "\n";
  }
  // The cards, each with the photo it is shown over; their texts are in cards.txt.
  for (const ShowCard& c : run.cards)
    for (const std::string& file : card_file_names(c.entry))
      out << column(file, 9) << column("card", 8) << (file == card_file_names(c.entry)[0] ? "" : "fainter, ")
          << (c.title ? "the title" : "a chapter's") << " over "
          << quoted_name(run.photos[run.selection.shown[c.photo]].path) << "\n";
  for (const CatalogueAccent& a : run.accents) {
    out << column(entry_file_name(a.index), 9) << column(role_name(a.role), 8)
        << quoted_name(run.photos[run.shown[std::min<size_t>(a.photo, run.shown.size() - 1)]].path) << "\n";
  }
  if (!run.left_out.empty()) {
    out << "\n# Not shown: more photos than the music has room for at the style's pace (an even spread is shown).\n";
    for (int p : run.left_out) out << "unused  " << quoted_name(run.photos[p].path) << "\n";
  }
  if (!run.repeats.empty()) {
    out << "\n# Duplicates: the same picture as a photo shown, or a shot of its burst (the sharpest is shown).\n";
    for (const auto& [photo, of] : run.repeats) out << "duplicate  " << quoted_name(photo) << "  of " << quoted_name(of) << "\n";
  }
  bool headed = false;
  for (const PhotoCandidate& p : run.photos) {
    const std::string flaw = photo_flaw(p);
    const int long_side = run.options.square ? std::min(p.width, p.height) : std::max(p.width, p.height);
    const bool small = unenlarged_factor(long_side) < SMALL_PHOTO_FACTOR;
    if (flaw.empty() && !small) continue;
    if (!headed) out << "\n# Warnings: photos small for the screen (shown smaller, their pixels at most doubled), and\n"
                        "# blurred, nearly black or without detail (chosen last when there is room for fewer).\n";
    headed = true;
    out << "warning  " << quoted_name(p.path) << "  " << (small ? std::to_string(p.width) + "x" + std::to_string(p.height) + " pixels, small" : "")
        << (small && !flaw.empty() ? ", " : "") << flaw << "\n";
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
              printable(out).c_str(), run.shown.size(),
              run.left_out.empty() ? "" : (" (" + std::to_string(run.left_out.size()) + " left out)").c_str(),
              run.music.bpm, clock_text(run.music.end).c_str(), d.c_str(), d.c_str(), d.c_str());
}

}  // namespace

int main(int argc, char** argv) try {
  MakeOptions options;
  if (const std::optional<int> exit_code = read_command_line(argc, argv, options)) return *exit_code;
  catch_interruptions();
  if (!start_photo_library(argv[0])) return fail("cannot start libvips");
  if (!options.cards_from.empty()) return redraw_cards(options.cards_from);
  Run run(options);
  try {
    // The target first, before anything is read; then the songs: a wrong file should not cost the
    // photos' time.
    const bool made = begin_the_folder(run) && check_the_songs(run) && start_listening(run) && read_the_photos(run) &&
                      look_at_the_photos(run) && plan_the_cards(run) && hear_the_music(run) && choreograph(run) &&
                      start_encoding(run) && write_the_photos(run) && write_the_cards(run) && finish_encoding(run) &&
                      write_the_tracks(run) &&
                      write_the_photo_list(run) && put_the_folder_in_place(run);
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
