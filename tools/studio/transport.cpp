#include "tools/studio/transport.h"

#include <algorithm>

#include "show/music_clock.h"

double Transport::delay_rows() const { return delay_ms_ / 1000.0 * ROW_RATE; }

double Transport::length_rows() { return music_.length_seconds() * ROW_RATE; }

// The music plays the picture's row plus the delay; it cannot start before its own beginning.
void Transport::seek_music(double row) { music_.seek(std::max(row + delay_rows(), 0.0) / ROW_RATE); }

void Transport::begin(double row, bool paused) {
  seek_to(row);
  if (paused) pause();
}

double Transport::frame_row() {
  if (paused_) return held_row_;
  double row, heard = -1.0;
  if (pending_) {
    pending_ = false;
    row = pending_row_;
  } else {
    heard = music_.seconds();
    row = heard * ROW_RATE - delay_rows();
  }
  if (loop_.on && loop_.complete() && row >= loop_.end) {
    ++loops_;
    seek_to(loop_.start);
    pending_ = false;
    row = loop_.start;
  }
  last_row_ = row;
  const double length = heard > 0.0 ? music_.length_seconds() : 0.0;
  if (length > 0.0 && heard >= length) {
    // The music has run out; holding here says so instead of pretending to play on.
    pause();
    end_of_music_ = true;
  }
  return row;
}

void Transport::seek_to(double row) {
  row = std::max(row, 0.0);
  const double length = length_rows();
  if (length > 0.0) row = std::min(row, length);
  end_of_show_ = false;
  end_of_music_ = false;
  seek_music(row);
  if (paused_) {
    held_row_ = row;
  } else {
    pending_ = true;
    pending_row_ = row;
    last_row_ = row;
  }
}

void Transport::pause() {
  if (paused_) return;
  held_row_ = last_row_;
  paused_ = true;
  pending_ = false;
  music_.pause();
}

void Transport::resume() {
  if (!paused_) return;
  paused_ = false;
  end_of_show_ = false;
  end_of_music_ = false;
  // The delay may have changed while paused: the sound goes on from the row on screen.
  seek_music(held_row_);
  music_.resume();
  pending_ = true;
  pending_row_ = held_row_;
  last_row_ = held_row_;
}

void Transport::stop_at_end_of_show(double row) {
  if (!paused_) last_row_ = row;
  pause();
  held_row_ = row;
  end_of_show_ = true;
}

bool Transport::perform(StudioAction action) {
  const double now = row();
  const Tempo tempo = tempo_at(tempo_, now);  // the grid of the song playing
  switch (action) {
    case StudioAction::TogglePause:
      paused_ ? resume() : pause();
      return true;
    // Onto the grid's lines, wherever the play head stood between them.
    case StudioAction::BeatBack: seek_to(grid_line_before(now, tempo, beat_rows(tempo))); return true;
    case StudioAction::BeatForward: seek_to(grid_line_after(now, tempo, beat_rows(tempo))); return true;
    case StudioAction::BarBack: seek_to(grid_line_before(now, tempo, bar_rows(tempo))); return true;
    case StudioAction::BarForward: seek_to(grid_line_after(now, tempo, bar_rows(tempo))); return true;
    case StudioAction::TenSecondsBack: seek_to(now - 10 * ROW_RATE); return true;
    case StudioAction::TenSecondsForward: seek_to(now + 10 * ROW_RATE); return true;
    case StudioAction::ToStart: seek_to(0.0); return true;
    case StudioAction::SetLoopStart:
    case StudioAction::SetLoopStartExact:
      // A loop set while playing starts on the beat nearest the play head, unless Alt asks for
      // the exact place.
      loop_.start = action == StudioAction::SetLoopStart ? std::max(nearest_beat_line(now, tempo), 0.0) : now;
      if (loop_.end <= loop_.start) loop_.end = -1.0;  // an end before the start is no loop
      if (!loop_.complete()) loop_.on = false;
      return true;
    case StudioAction::SetLoopEnd:
    case StudioAction::SetLoopEndExact:
      loop_.end = action == StudioAction::SetLoopEnd ? std::max(nearest_beat_line(now, tempo), 0.0) : now;
      if (loop_.start >= loop_.end) loop_.start = -1.0;
      if (!loop_.complete()) loop_.on = false;
      return true;
    case StudioAction::ToggleLoop:
      if (!loop_.complete()) return false;
      loop_.on = !loop_.on;
      return true;
    case StudioAction::DelayMore:
      delay_ms_ = std::min(delay_ms_ + DELAY_STEP_MS, MAX_DELAY_MS);
      return true;
    case StudioAction::DelayLess:
      delay_ms_ = std::max(delay_ms_ - DELAY_STEP_MS, -MAX_DELAY_MS);
      return true;
    default:
      return false;
  }
  return false;
}
