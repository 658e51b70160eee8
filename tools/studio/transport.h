#pragma once
// The studio's time: where the picture is, whether it plays, seeking, the loop and the delay of
// the picture against the sound. Pure logic over a MusicControl, so that every rule can be
// exercised without a sound device and with a clock the test moves by hand.
//
// Rows here are the picture's: the row drawn is the music's row minus the delay. While paused the
// row is held exactly; the first frame after a seek is exactly at its target, after which the row
// follows the music again.
#include "tools/studio/studio_keys.h"
#include "tools/studio/tempo.h"

// The music as the transport drives it.
class MusicControl {
 public:
  virtual ~MusicControl() = default;
  virtual double seconds() = 0;           // what is heard now; held while paused
  virtual void pause() = 0;               // silence from now on, the position held
  virtual void resume() = 0;              // the sound goes on from the held position
  virtual void seek(double seconds) = 0;  // exact; also before the music has started
  virtual double length_seconds() = 0;    // 0 when unknown (or no music)
};

struct LoopRange {
  double start = -1.0, end = -1.0;  // rows; negative while not set
  bool on = false;
  bool complete() const { return start >= 0.0 && end > start; }
};

class Transport {
 public:
  static constexpr int DELAY_STEP_MS = 10;
  static constexpr int MAX_DELAY_MS = 2000;  // either way

  explicit Transport(MusicControl& music) : music_(music) {}

  // Where the music begins: positions it (and pauses it) before it starts playing.
  void begin(double row, bool paused);

  // The row to draw this frame, read once per frame. Applies the loop: a playing row at or past
  // the loop's end starts the loop again, and that frame is exactly at the loop's start. At the
  // music's end the transport pauses there.
  double frame_row();

  // The keys that move time; the others (fullscreen, overlay, quit) are not the transport's and
  // return false, as does L while no complete loop is set.
  bool perform(StudioAction action);

  void seek_to(double row);  // clamped to the music; ends any "end of show"
  void pause();
  void resume();
  // "happy" has reached 2 at this row: the studio holds there instead of quitting.
  void stop_at_end_of_show(double row);
  // The row held at the end draws after all (the text has changed since).
  void clear_end_of_show() { end_of_show_ = false; }

  void set_tempo(const Tempo& tempo) { tempo_ = tempo; }
  const Tempo& tempo() const { return tempo_; }
  bool paused() const { return paused_; }
  bool at_end_of_show() const { return end_of_show_; }
  bool at_end_of_music() const { return end_of_music_; }
  double row() const { return paused_ ? held_row_ : last_row_; }  // the row of the last frame
  const LoopRange& loop() const { return loop_; }
  long long loops() const { return loops_; }  // times the loop has started over
  int delay_ms() const { return delay_ms_; }
  double length_rows();  // the music's length in rows; 0 when unknown

 private:
  double delay_rows() const;
  void seek_music(double row);

  MusicControl& music_;
  Tempo tempo_;
  bool paused_ = false;
  double held_row_ = 0.0;     // while paused
  double last_row_ = 0.0;     // the row of the last frame
  bool pending_ = false;      // the next frame is exactly at pending_row_
  double pending_row_ = 0.0;
  bool end_of_show_ = false;
  bool end_of_music_ = false;
  LoopRange loop_;
  long long loops_ = 0;
  int delay_ms_ = 0;  // positive: the picture later than the sound the device plays
};
