#include "tools/studio/tempo.h"

#include <cmath>
#include <cstdio>

#include "show/music_clock.h"

namespace {

// Divisions of rows by beat lengths like 1200 / 127.5 carry rounding errors of about 1e-13;
// anything this close below a whole beat is that beat.
constexpr double ON_THE_BEAT = 1e-9;

}  // namespace

Tempo tempo_from_text(double bpm, int beats_per_bar, double start_row) {
  Tempo tempo;
  tempo.start_row = std::isfinite(start_row) ? start_row : 0.0;
  tempo.bpm = bpm > 0.0 ? bpm : 0.0;
  tempo.beats_per_bar = beats_per_bar > 0 ? beats_per_bar : DEFAULT_BEATS_PER_BAR;
  return tempo;
}

Tempo tempo_from_show(const ShowText& show) {
  Tempo tempo = tempo_from_text(show.bpm, show.beats_per_bar, show.start_row);
  for (size_t k = 1; k < show.tempi.size(); ++k) {
    const ShowTempo& t = show.tempi[k];
    Tempo grid = tempo_from_text(t.bpm, t.beats_per_bar, t.start_row);
    grid.from_row = t.start_row;
    grid.start_row = t.start_row - static_cast<double>(t.first_bar - 1) * bar_rows(grid);
    tempo.later.push_back(grid);
  }
  return tempo;
}

Tempo tempo_at(const Tempo& tempo, double row) {
  const Tempo* in_force = &tempo;
  for (const Tempo& t : tempo.later)
    if (t.from_row <= row) in_force = &t;
  Tempo one;
  one.bpm = in_force->bpm, one.beats_per_bar = in_force->beats_per_bar, one.start_row = in_force->start_row;
  one.from_row = in_force->from_row;
  return one;
}

double beat_rows(const Tempo& tempo) { return tempo.known() ? ROW_RATE * 60.0 / tempo.bpm : ROW_RATE; }

double bar_rows(const Tempo& tempo) { return beat_rows(tempo) * tempo.beats_per_bar; }

BarBeat bar_beat(double row, const Tempo& tempo) {
  const long long beats =
      static_cast<long long>(std::floor((row - tempo.start_row) / beat_rows(tempo) + ON_THE_BEAT));
  const long long per_bar = tempo.beats_per_bar;
  // Floor division, so that row -1 is in the last beat of bar 0 rather than in bar 1.
  long long bar = beats / per_bar;
  long long beat = beats % per_bar;
  if (beat < 0) {
    beat += per_bar;
    --bar;
  }
  return {bar + 1, static_cast<int>(beat) + 1};
}

double grid_line_before(double row, const Tempo& tempo, double step) {
  const double k = std::ceil((row - tempo.start_row) / step - ON_THE_BEAT) - 1.0;
  return tempo.start_row + k * step;
}

double grid_line_after(double row, const Tempo& tempo, double step) {
  const double k = std::floor((row - tempo.start_row) / step + ON_THE_BEAT) + 1.0;
  return tempo.start_row + k * step;
}

long long nearest_beat(double row, const Tempo& tempo) {
  return std::llround((row - tempo.start_row) / beat_rows(tempo));
}

double nearest_beat_line(double row, const Tempo& tempo) {
  // As the show text computes a beat's place, so the line and a key written there agree.
  const double beats = static_cast<double>(nearest_beat(row, tempo));
  return tempo.known() ? tempo.start_row + beats * (60.0 * ROW_RATE) / tempo.bpm
                       : tempo.start_row + beats * beat_rows(tempo);
}

std::string beat_time_text(long long beat, const Tempo& tempo) {
  if (tempo.known() && beat >= 0)
    return std::to_string(beat / tempo.beats_per_bar + 1) + ":" + std::to_string(beat % tempo.beats_per_bar + 1);
  const double line = tempo.start_row + static_cast<double>(beat) * beat_rows(tempo);
  return std::to_string(std::llround(line));
}

void format_clock(double row, char* out, size_t size) {
  if (size == 0) return;
  if (!std::isfinite(row)) {
    std::snprintf(out, size, "-:--.--");
    return;
  }
  const bool negative = row < 0;
  // Hundredths of a second are row × 5; the guard keeps 0.15 s (row 3) from showing as 0:00.14.
  const long long hundredths = static_cast<long long>(std::floor(std::fabs(row) * (100.0 / ROW_RATE) + ON_THE_BEAT));
  std::snprintf(out, size, "%s%lld:%02lld.%02lld", negative ? "-" : "", hundredths / 6000, hundredths / 100 % 60,
                hundredths % 100);
}
