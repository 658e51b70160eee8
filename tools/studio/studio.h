#pragma once
// The studio apart from its window: the show's start-up, the live text and photos, the transport,
// and each frame drawn with the show's own render_frame_at and the overlay over it. The window
// (or, in tests and benchmarks, an offscreen context) gives it the GL context, a way to present,
// its size, the keys and the clicks.
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "app/swap_buffers.h"
#include "tools/authoring/photo_check.h"
#include "tools/studio/file_watch.h"
#include "tools/studio/live_show.h"
#include "tools/studio/overlay.h"
#include "tools/studio/photo_reload.h"
#include "tools/studio/show_music.h"
#include "tools/studio/studio_options.h"
#include "tools/studio/transport.h"
#include "tools/studio/waveform.h"

class Studio {
 public:
  // `present` shows a finished frame (the window's buffer swap); the studio draws the overlay
  // just before it. At most one studio runs in a process.
  Studio(const StudioOptions& options, SwapFunction present);
  ~Studio();
  Studio(const Studio&) = delete;
  Studio& operator=(const Studio&) = delete;

  // The drawable's size in pixels: the letterbox rule and the overlay follow it. Also before start.
  void resize(int width, int height);
  // With the GL context current: the show's start-up with its loading frames, the text read
  // (a sound one writes kestos/), the music begun where and as the options say.
  void start();
  // One frame at `now` (monotonic seconds): changed files taken in, the row, the picture, the
  // overlay, presented.
  void frame(double now);

  // Before the process ends: a save of the text not taken in yet (the watch has not told of it)
  // is read now and, when sound, written to kestos/ with whatever else waits to be written, so
  // quitting right after a save loses nothing.
  void finish();

  // The keys that are the studio's (all but quitting and fullscreen, which are the window's).
  void act(StudioAction action, double now);
  // A character of a value being typed ('0'-'9', '.'); Enter sets it as a key.
  void type(char c);
  // A press of the left button at window pixel (x, y), and the pointer moved with it held.
  void press(int x, int y);
  void drag(int x, int y);
  void release() { dragging_ = false; }

  // What the frames show, for the window's title and the test hook.
  const Transport& transport() const { return transport_; }
  const LiveShow& live() const { return live_; }
  double row() const { return row_; }
  int selected_track() const { return selected_; }  // the track cursor, in binding order
  bool overlay_shown() const { return overlay_shown_; }
  uint64_t frames() const { return frames_; }
  // When (CLOCK_REALTIME seconds) the latest sound text was noticed, and when its first frame was
  // presented; 0 before.
  double applied_at() const { return applied_at_; }
  double shown_at() const { return shown_at_; }

  // The state in a few "key value" lines, written to `path` atomically: the test hook.
  void write_state(const std::string& path) const;

 private:
  static void present_with_overlay();
  void reload_text(double now);
  void write_track_files_due();
  void edit_key(StudioAction action, double now);
  void undo_edit(double now);
  bool write_show_text(const std::string& text, std::string& why);
  void check_photos_again();
  void take_photo_check();
  void watch_text_presence(double now);
  void say(double now, const char* format, ...) __attribute__((format(printf, 3, 4)));
  double span_rows();

  StudioOptions options_;
  SwapFunction present_;
  int width_ = 0, height_ = 0;
  bool started_ = false;
  bool overlay_shown_ = true;
  ShowMusic music_;
  Transport transport_;
  LiveShow live_;
  std::vector<SyncTrack*> tracks_;
  Overlay overlay_;
  OverlayView view_;
  std::unique_ptr<FileWatch> watch_;
  std::vector<size_t> changed_;
  std::unique_ptr<PhotoReload> photos_;
  std::unique_ptr<Waveform> waveform_;
  bool waveform_seen_ = false;
  double row_ = 0.0;
  bool have_good_row_ = false;
  double good_row_ = 0.0;  // the latest row whose frame drew: what stays on screen at the end
  double drawn_row_ = -1e9;  // the row of the frame before: a jump from it is a seek
  bool dragging_ = false;
  char note_[320] = "";
  double note_until_ = 0.0;
  uint64_t frames_ = 0;
  double applied_at_ = 0.0, shown_at_ = 0.0;
  bool awaiting_show_ = false;
  int selected_ = 0;
  std::string input_;  // a value being typed
  struct Edit {
    std::string before, after;  // show.txt around one of the studio's edits
  };
  std::vector<Edit> undo_;
  // The photos' problems, looked for off the frame's thread at start and after every change.
  PhotoFileCache photo_cache_;  // the running check's while it runs
  std::future<std::vector<PhotoProblem>> photo_check_;
  bool photo_recheck_ = false;
  std::vector<std::string> photo_problems_;
  std::vector<size_t> failed_photos_;
  bool text_gone_ = false;
  double next_presence_check_ = 0.0;
};
