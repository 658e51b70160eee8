#include "tools/studio/studio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <GL/gl.h>

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "app/letterbox.h"
#include "app/start_show.h"
#include "show/open_photos.h"
#include "show/music_clock.h"
#include "show/scene.h"
#include "tools/authoring/scene_track_names.h"
#include "tools/authoring/show_files.h"
#include "tools/authoring/show_text_edit.h"
#include "tools/studio/scene_handles.h"

namespace {

Studio* presenting = nullptr;  // the studio whose overlay goes over the frames presented
constexpr double NOTE_SECONDS = 2.5;
constexpr size_t MAX_UNDO = 200;
constexpr size_t MAX_TYPED = 24;

double wall_seconds() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

}  // namespace

Studio::Studio(const StudioOptions& options, SwapFunction present)
    : options_(options),
      present_(present),
      overlay_shown_(options.overlay),
      transport_(music_),
      live_(options.show_text, ".") {
  presenting = this;
}

Studio::~Studio() {
  if (presenting == this) presenting = nullptr;
  set_swap_function(present_);
}

void Studio::resize(int width, int height) {
  if (width <= 0 || height <= 0 || (width == width_ && height == height_)) return;
  width_ = width;
  height_ = height;
  set_letterbox_viewport(width, height);
  if (!started_) return;
  std::string error;
  if (!overlay_.resize(width, height, error)) std::fprintf(stderr, "hallshow-studio: %s\n", error.c_str());
}

void Studio::start() {
  // The loading frames are the show's own, without the overlay.
  set_swap_function(present_);
  glClearDepth(1.0);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  prepare_show();
  const auto handles = scene_handles(scene_tracks());
  tracks_.assign(handles.begin(), handles.end());
  reload_text(0.0);
  write_track_files_due();
  transport_.begin(options_.at_row, options_.paused);
  start_music();

  photos_ = std::make_unique<PhotoReload>();
  std::vector<std::string> files{options_.show_text};
  files.insert(files.end(), photos_->files().begin(), photos_->files().end());
  watch_ = std::make_unique<FileWatch>(std::move(files));
  changed_.reserve(photos_->files().size() + 1);
  waveform_ = std::make_unique<Waveform>("e12.mp3");

  started_ = true;
  std::string error;
  if (!overlay_.resize(width_, height_, error)) std::fprintf(stderr, "hallshow-studio: %s\n", error.c_str());
  set_swap_function(present_with_overlay);
  failed_photos_.reserve(photos_->files().size());
  check_photos_again();
}

// The tracks are copied for the check's thread: a reload replaces their keys meanwhile.
void Studio::check_photos_again() {
  if (photo_check_.valid()) {
    photo_recheck_ = true;  // after the one running
    return;
  }
  photo_recheck_ = false;
  std::vector<SyncTrack> copies;
  for (const SyncTrack* t : tracks_)
    if (t) copies.push_back(*t);
  photo_check_ = std::async(std::launch::async, [this, copies = std::move(copies)] {
    std::vector<const SyncTrack*> handles;
    for (const SyncTrack& t : copies) handles.push_back(&t);
    return check_photos(".", handles, photo_cache_);
  });
}

void Studio::take_photo_check() {
  if (!photo_check_.valid() || photo_check_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
  std::vector<PhotoProblem> problems = photo_check_.get();
  std::vector<std::string> messages;
  for (const PhotoProblem& p : problems) messages.push_back(p.message);
  if (messages != photo_problems_) {
    if (messages.empty() && !photo_problems_.empty())
      std::fprintf(stderr, "hallshow-studio: the photos are fine now\n");
    for (const std::string& m : messages) std::fprintf(stderr, "hallshow-studio: %s\n", m.c_str());
    photo_problems_ = std::move(messages);
  }
  if (photo_recheck_) check_photos_again();
}

// A text deleted (or moved away) while the studio runs: the last good one plays on, and a note
// says so until the file is back.
void Studio::watch_text_presence(double now) {
  if (now < next_presence_check_) return;
  next_presence_check_ = now + FileWatch::POLL_SECONDS;
  struct stat st;
  const bool gone = stat(options_.show_text.c_str(), &st) != 0;
  if (gone && !text_gone_)
    std::fprintf(stderr, "hallshow-studio: %s is gone; the last good text plays on until it is back\n",
                 options_.show_text.c_str());
  text_gone_ = gone;
}

void Studio::say(double now, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(note_, sizeof note_, format, args);
  va_end(args);
  note_until_ = now + NOTE_SECONDS;
}

void Studio::reload_text(double now) {
  const bool had_errors = !live_.errors().empty();
  const LiveShow::Result result = live_.reload(tracks_);
  switch (result) {
    case LiveShow::Result::Unchanged:
      return;
    case LiveShow::Result::Applied:
      applied_at_ = wall_seconds();
      awaiting_show_ = true;
      transport_.set_tempo(live_.tempo());
      if (had_errors) std::fprintf(stderr, "hallshow-studio: %s is sound again\n", live_.text_path().c_str());
      if (started_) say(now, "%s: live", live_.text_path().c_str());
      if (started_) check_photos_again();  // the tracks may show other photos now
      replan_open_photos();
      return;
    case LiveShow::Result::Refused:
    case LiveShow::Result::Unreadable:
      // On the terminal once, every fault; on screen the first, until the text is sound.
      for (const std::string& e : live_.errors()) std::fprintf(stderr, "%s\n", e.c_str());
      return;
  }
}

double Studio::span_rows() { return timeline_span_rows(transport_.length_rows(), live_.last_key_row()); }

void Studio::act(StudioAction action, double now) {
  switch (action) {
    case StudioAction::ToggleOverlay:
      overlay_shown_ = !overlay_shown_;
      return;
    case StudioAction::ToggleLoop:
      if (!transport_.perform(action)) say(now, "no loop yet: [ sets its start, ] its end");
      else say(now, "loop %s", transport_.loop().on ? "on" : "off");
      return;
    case StudioAction::DelayLess:
      if (!input_.empty()) {  // while a value is typed, '-' turns its sign
        input_ = input_[0] == '-' ? input_.substr(1) : "-" + input_;
        return;
      }
      [[fallthrough]];
    case StudioAction::DelayMore:
      transport_.perform(action);
      say(now, "picture %+d ms against the sound", transport_.delay_ms());
      return;
    case StudioAction::PreviousTrack:
      selected_ = (selected_ + SCENE_TRACK_COUNT - 1) % SCENE_TRACK_COUNT;
      return;
    case StudioAction::NextTrack:
      selected_ = (selected_ + 1) % SCENE_TRACK_COUNT;
      return;
    case StudioAction::EraseCharacter:
      if (!input_.empty()) input_.pop_back();
      return;
    case StudioAction::SetKey:
    case StudioAction::CycleInterpolation:
    case StudioAction::DeleteKey:
    case StudioAction::EnterValue:
      edit_key(action, now);
      return;
    case StudioAction::Undo:
      undo_edit(now);
      return;
    default:
      transport_.perform(action);
  }
}

void Studio::type(char c) {
  if (input_.size() >= MAX_TYPED || (c == '.' && input_.find('.') != std::string::npos)) return;
  input_ += c;
}

// Saved as a careful editor saves (save_file): a new file beside it, synced, with the text's mode,
// renamed over it; a show.txt that is a link keeps being one. The file watch then sees a save.
bool Studio::write_show_text(const std::string& text, std::string& why) {
  return save_file(options_.show_text, text, why);
}

// A key edit from the keyboard: the selected track's block of the show text changed in place,
// then taken in exactly as an editor's save would be.
void Studio::edit_key(StudioAction action, double now) {
  const std::string name(KESTO_TRACK_NAMES[static_cast<size_t>(selected_)]);
  std::string text, why, edited;
  if (!read_whole_file(options_.show_text, text)) {
    say(now, "cannot read %s: no key set", options_.show_text.c_str());
    return;
  }
  const ShowText show = parse_show_text(text, options_.show_text);
  if (!show.errors.empty()) {
    say(now, "%s has faults; mend them first", options_.show_text.c_str());
    return;
  }
  const Tempo tempo = tempo_at(tempo_from_show(show), transport_.row());
  const std::string time = beat_time_text(nearest_beat(transport_.row(), tempo), tempo);
  const std::optional<int32_t> row = row_of_time(time, show, why);
  bool ok = row.has_value();
  std::string done;
  if (ok && action == StudioAction::SetKey) {
    const float value = get_value(*tracks_[static_cast<size_t>(selected_)], *row);
    ok = set_key_in_text(text, name, time, value, std::nullopt, edited, why);
    done = "key " + name + " " + time + " " + format_float(value);
  } else if (ok && action == StudioAction::EnterValue) {
    float value = 0;
    const auto [end, ec] = std::from_chars(input_.data(), input_.data() + input_.size(), value);
    if (input_.empty() || ec != std::errc() || end != input_.data() + input_.size()) {
      say(now, input_.empty() ? "type a value first, then Enter" : "'%s' is not a value", input_.c_str());
      input_.clear();
      return;
    }
    input_.clear();
    ok = set_key_in_text(text, name, time, value, std::nullopt, edited, why);
    done = "key " + name + " " + time + " " + format_float(value);
  } else if (ok && action == StudioAction::DeleteKey) {
    ok = remove_key_from_text(text, name, *row, edited, why);
    done = "key " + name + " " + time + " removed";
  } else if (ok) {
    ok = cycle_interpolation_in_text(text, name, *row, edited, why);
    done = "interpolation of " + name + " changed";
  }
  if (ok) ok = write_show_text(edited, why);
  if (!ok) {
    say(now, "%s", why.c_str());
    std::fprintf(stderr, "hallshow-studio: %s\n", why.c_str());
    return;
  }
  if (undo_.size() == MAX_UNDO) undo_.erase(undo_.begin());
  undo_.push_back({std::move(text), std::move(edited)});
  reload_text(now);
  say(now, "%s", done.c_str());
}

void Studio::undo_edit(double now) {
  if (undo_.empty()) {
    say(now, "no edit of the studio's to undo");
    return;
  }
  std::string text, why;
  // An edit made in an editor since then is the author's; undoing over it would lose it.
  if (!read_whole_file(options_.show_text, text) || text != undo_.back().after) {
    undo_.clear();
    say(now, "%s has changed since the studio's last edit: not undone", options_.show_text.c_str());
    return;
  }
  if (!write_show_text(undo_.back().before, why)) {
    say(now, "%s", why.c_str());
    return;
  }
  undo_.pop_back();
  reload_text(now);
  say(now, "undone (%zu more to undo)", undo_.size());
}

void Studio::press(int x, int y) {
  if (!overlay_shown_ || !overlay_.timeline().contains(x, y)) return;
  dragging_ = true;
  transport_.seek_to(timeline_row_at(overlay_.timeline(), span_rows(), x));
}

void Studio::drag(int x, int) {
  if (dragging_) transport_.seek_to(timeline_row_at(overlay_.timeline(), span_rows(), x));
}

void Studio::frame(double now) {
  watch_->poll(now, changed_);
  for (size_t i : changed_) {
    if (i == 0)
      reload_text(now);
    else
      photos_->request(i - 1);
  }
  failed_photos_.clear();
  if (const int uploaded = photos_->upload_ready(&failed_photos_); uploaded > 0 || !failed_photos_.empty()) {
    // What really happened: a photo that no longer decodes keeps its old picture.
    if (failed_photos_.empty())
      say(now, "%d photo%s loaded again", uploaded, uploaded == 1 ? "" : "s");
    else
      say(now, "%s could not be read again: its old picture stays%s", photos_->files()[failed_photos_[0]].c_str(),
          failed_photos_.size() > 1 ? " (and others: see the photo problems)" : "");
    check_photos_again();
  }
  take_photo_check();
  watch_text_presence(now);
  if (!waveform_seen_ && waveform_->ready()) waveform_seen_ = true;

  // Every frame, not only when the size changes: a GL driver may take the drawable's new size only
  // from a viewport set after the window system has resized it.
  set_letterbox_viewport(width_, height_);
  row_ = transport_.frame_row();
  view_.overlay_shown = overlay_shown_;
  view_.row = row_;
  view_.transport = &transport_;
  view_.tracks = &scene_tracks();
  view_.keys_generation = live_.generation();
  view_.peaks = waveform_seen_ ? &waveform_->peaks() : nullptr;
  view_.span_rows = span_rows();
  view_.errors = &live_.errors();
  view_.write_error = &live_.write_error();
  // Hidden, the overlay leaves the picture alone but for the text's faults.
  view_.note = overlay_shown_ && now < note_until_ ? note_ : nullptr;
  view_.selected_track = selected_;
  view_.photo_problems = &photo_problems_;
  view_.text_gone = text_gone_;
  view_.input = input_.c_str();
  view_.open_photos = open_photo_stream() ? &open_photo_stream()->counters() : nullptr;

  // After a seek (or the first frame) the photos the frame shows may not have been fetched: the
  // frame waits a little for them, then draws what is missing as the show would.
  constexpr int SEEK_WAIT_MS = 100;
  const bool seek = row_ < drawn_row_ - 0.5 || row_ > drawn_row_ + 5;
  set_open_photos_wait(seek, SEEK_WAIT_MS);
  drawn_row_ = row_;
  const FrameResult drawn = render_frame_at(row_, swap_buffers);
  set_open_photos_wait(false);
  if (drawn == FrameResult::Presented) {
    good_row_ = row_;
    have_good_row_ = true;
    if (transport_.at_end_of_show()) transport_.clear_end_of_show();
  } else {
    // "happy" is 2 here: the show would end. The studio holds at this row, and the picture that
    // stays is the show's last one.
    transport_.stop_at_end_of_show(row_);
    if (!have_good_row_ || render_frame_at(good_row_, swap_buffers) != FrameResult::Presented) swap_buffers();
  }
  ++frames_;
  if (awaiting_show_) {
    shown_at_ = wall_seconds();
    awaiting_show_ = false;
  }
  write_track_files_due();
}

void Studio::finish() {
  if (!started_) return;
  reload_text(0.0);
  write_track_files_due();
}

// After the frame that shows a change, so that the picture need not wait for the disk.
void Studio::write_track_files_due() {
  if (!live_.write_pending()) return;
  if (!live_.write_error().empty())
    std::fprintf(stderr, "hallshow-studio: kestos/ not written: %s\n", live_.write_error().c_str());
}

void Studio::present_with_overlay() {
  if (!presenting) return;
  presenting->overlay_.draw(presenting->view_);
  presenting->present_();
}

void Studio::write_state(const std::string& path) const {
  char text[1024];
  const LoopRange& loop = transport_.loop();
  const std::string& error = live_.errors().empty() ? live_.write_error() : live_.errors().front();
  const int n = std::snprintf(
      text, sizeof text,
      "frame %llu\nrow %.6f\nmusic %.6f\npaused %d\nend_of_show %d\nloop %.6f %.6f %d\nloops %lld\n"
      "generation %llu\napplied_at %.6f\nshown_at %.6f\noverlay %d\ndelay_ms %d\nsize %dx%d\ntrack %s\n"
      "input %s\nerror %.600s\n",
      static_cast<unsigned long long>(frames_), row_, music_seconds(), transport_.paused() ? 1 : 0,
      transport_.at_end_of_show() ? 1 : 0, loop.start, loop.end, loop.on ? 1 : 0, transport_.loops(),
      static_cast<unsigned long long>(live_.generation()), applied_at_, shown_at_, overlay_shown_ ? 1 : 0,
      transport_.delay_ms(), width_, height_, SCENE_TRACK_NAMES[selected_], input_.c_str(), error.c_str());
  if (n <= 0) return;
  const std::string temp = path + ".part";
  // A link planted under the temporary name is refused, not written through.
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return;
  const bool written = write(fd, text, static_cast<size_t>(std::min<int>(n, sizeof text - 1))) > 0;
  close(fd);
  if (written) rename(temp.c_str(), path.c_str());
}
