#pragma once
// Bars and beats over the show's rows, from the tempo the show text gives ("bpm 120", "beats 4").
// Without a tempo, a beat is one second, so beat-wise seeking still moves by something sensible.
// A text may give a tempo for each song of its music: each takes over from its own start.
#include <cstddef>
#include <string>
#include <vector>

#include "tools/authoring/show_text.h"

struct Tempo {
  double bpm = 0.0;       // beats a minute; 0 when unknown
  int beats_per_bar = 4;  // 1 and up
  double start_row = 0.0;  // where bar 1 beat 1 falls ("start"); the grid's lines are counted from it
  bool known() const { return bpm > 0.0; }
  // Grids that take over from `from_row` on, in order, their start_row where their bar 1 would
  // fall so that bars count on from the grid before.
  double from_row = 0.0;
  std::vector<Tempo> later;
};

inline constexpr int DEFAULT_BEATS_PER_BAR = 4;

// The tempo of a show text's "bpm", "beats" and "start" lines (0 for a line not given).
Tempo tempo_from_text(double bpm, int beats_per_bar, double start_row = 0.0);
// Every grid of a show text.
Tempo tempo_from_show(const ShowText& show);
// The grid in force at `row`, on its own (allocates nothing).
Tempo tempo_at(const Tempo& tempo, double row);

double beat_rows(const Tempo& tempo);  // rows a beat lasts: 10 at 120 bpm; 20 (a second) when unknown
double bar_rows(const Tempo& tempo);   // a beat's rows × beats a bar

struct BarBeat {
  long long bar;  // from 1; negative rows count back from bar 0
  int beat;       // 1 .. beats_per_bar
};
// The bar and beat a row falls in; a row on a beat's first row belongs to that beat, even when the
// division lands a hair below it.
BarBeat bar_beat(double row, const Tempo& tempo);

// Lines of the grid every `step` rows (a beat's or a bar's) from the tempo's start: the last one
// before `row` and the first one after it (a row on a line moves to the next line), and the
// nearest one. Exact fractional rows: at 128 bpm a beat line may lie at row 9.375.
double grid_line_before(double row, const Tempo& tempo, double step);
double grid_line_after(double row, const Tempo& tempo, double step);
double nearest_beat_line(double row, const Tempo& tempo);

// The beat nearest `row`, counted from bar 1 beat 1 (0), and how the show text writes it: "17:3"
// with a tempo and from bar 1 on, otherwise the beat's whole row ("120").
long long nearest_beat(double row, const Tempo& tempo);
std::string beat_time_text(long long beat, const Tempo& tempo);

// "m:ss.cc", truncated to hundredths (so the display never shows 0:60.00): 12.345 s is "0:12.34".
// Writes at most `size` bytes including the terminating zero; allocates nothing.
void format_clock(double row, char* out, size_t size);
