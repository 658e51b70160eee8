#include "tools/authoring/show_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>

#include "show/music_clock.h"
#include "tools/authoring/scene_track_names.h"

namespace {

constexpr std::string_view INTERPOLATIONS[] = {"step", "linear", "smooth", "ramp"};

std::vector<std::string_view> split_words(std::string_view s) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r')) ++i;
    size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t' && s[j] != '\r') ++j;
    if (j > i) words.push_back(s.substr(i, j - i));
    i = j;
  }
  return words;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A row: an optional sign and decimal digits, within 32 bits.
std::optional<int32_t> parse_rows(std::string_view w, std::string& why) {
  int64_t v = 0;
  const char* end = w.data() + w.size();
  const char* p = w.data();
  if (p != end && *p == '+') ++p;
  auto [q, ec] = std::from_chars(p, end, v);
  if (ec == std::errc::result_out_of_range || (ec == std::errc() && q == end &&
      (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()))) {
    why = "time '" + std::string(w) + "' is beyond the rows a track can hold";
    return std::nullopt;
  }
  if (ec != std::errc() || q != end) {
    why = "time '" + std::string(w) + "' is neither rows (\"120\") nor seconds (\"6s\")";
    return std::nullopt;
  }
  return static_cast<int32_t>(v);
}

// Seconds as written, "12.5s": turned into rows in exact decimal arithmetic, so "0.05s" is row 1
// and never 0.99999 of one.
std::optional<int32_t> parse_seconds(std::string_view w, std::string& why) {
  std::string_view s = w.substr(0, w.size() - 1);
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  const size_t dot = s.find('.');
  std::string_view whole = s.substr(0, dot);
  std::string_view frac = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
  while (!frac.empty() && frac.back() == '0') frac.remove_suffix(1);
  bool digits_only = !(whole.empty() && (dot == std::string_view::npos || s.size() == 1));
  for (char c : whole) digits_only = digits_only && is_digit(c);
  for (char c : frac) digits_only = digits_only && is_digit(c);
  if (!digits_only) {
    why = "time '" + std::string(w) + "' is neither rows (\"120\") nor seconds (\"6s\")";
    return std::nullopt;
  }
  while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
  // 2^31 rows is about 1.07e8 seconds: nine whole digits are the most that can fit.
  if (whole.size() > 9 || frac.size() > 9) {
    why = whole.size() > 9 ? "time '" + std::string(w) + "' is beyond the rows a track can hold"
                           : "time '" + std::string(w) + "' does not land on a whole row (a row is 0.05s)";
    return std::nullopt;
  }
  int64_t whole_v = 0, frac_v = 0, scale = 1;
  for (char c : whole) whole_v = whole_v * 10 + (c - '0');
  for (char c : frac) frac_v = frac_v * 10 + (c - '0'), scale *= 10;
  const auto rate = static_cast<int64_t>(ROW_RATE);
  if ((frac_v * rate) % scale != 0) {
    why = "time '" + std::string(w) + "' does not land on a whole row (a row is 0.05s)";
    return std::nullopt;
  }
  int64_t rows = whole_v * rate + frac_v * rate / scale;
  if (negative) rows = -rows;
  if (rows < std::numeric_limits<int32_t>::min() || rows > std::numeric_limits<int32_t>::max()) {
    why = "time '" + std::string(w) + "' is beyond the rows a track can hold";
    return std::nullopt;
  }
  return static_cast<int32_t>(rows);
}

std::optional<int32_t> parse_time(std::string_view w, std::string& why) {
  if (w.size() > 1 && w.back() == 's') return parse_seconds(w, why);
  return parse_rows(w, why);
}

std::optional<float> parse_value(std::string_view w, std::string& why) {
  const char* p = w.data();
  const char* end = w.data() + w.size();
  if (p != end && *p == '+') ++p;
  float v = 0;
  auto [q, ec] = std::from_chars(p, end, v, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    why = "value '" + std::string(w) + "' is beyond the range of a float";
    return std::nullopt;
  }
  if (ec != std::errc() || q != end) {
    why = "value '" + std::string(w) + "' is not a number";
    return std::nullopt;
  }
  if (!std::isfinite(v)) {
    why = "value '" + std::string(w) + "' is not a finite number";
    return std::nullopt;
  }
  return v;
}

std::optional<int32_t> parse_interpolation(std::string_view w, std::string& why) {
  for (int32_t code = 0; code < 4; ++code)
    if (INTERPOLATIONS[code] == w) return code;
  why = "unknown interpolation '" + std::string(w) + "' (step, linear, smooth or ramp)";
  return std::nullopt;
}

// The beat grid the text's "bpm", "beats" and "start" lines lay over the music: one for each
// tempo, each from its first bar on.
struct Grid {
  double bpm = 0.0;
  int beats_per_bar = 4;
  double start_row = 0.0;  // where `first_bar` beat 1 falls, in rows (not necessarily whole)
  long long first_bar = 1;
  double beat_rows() const { return 60.0 * ROW_RATE / bpm; }
};

struct Grids {
  std::vector<Grid> grids;  // in order; empty without a tempo
  bool known() const { return !grids.empty() && grids[0].bpm > 0.0; }
  // The grid a bar lies in, and the one a row lies in (the first before its start).
  const Grid& of_bar(long long bar) const {
    size_t k = 0;
    while (k + 1 < grids.size() && grids[k + 1].first_bar <= bar) ++k;
    return grids[k];
  }
  const Grid& of_row(double row) const {
    size_t k = 0;
    while (k + 1 < grids.size() && grids[k + 1].start_row <= row) ++k;
    return grids[k];
  }
};

// A tempo line: "bpm N" or "beats N". Reports into `why` and returns false when it is malformed.
bool parse_tempo_line(const std::vector<std::string_view>& w, Grid& show, std::string& why) {
  const bool bpm = w[0] == "bpm";
  if (w.size() != 2) {
    why = bpm ? "a tempo line is 'bpm' and the beats a minute (\"bpm 120\")"
              : "a bar line is 'beats' and the beats to a bar (\"beats 4\")";
    return false;
  }
  const std::string_view number = w[1];
  const char* p = number.data();
  const char* end = number.data() + number.size();
  if (bpm) {
    double v = 0;
    auto [q, ec] = std::from_chars(p, end, v, std::chars_format::fixed);
    if (ec != std::errc() || q != end || !(v > 0.0) || v > MAX_BPM) {
      why = "bpm '" + std::string(number) + "' is not a tempo above 0 and up to 1000 beats a minute";
      return false;
    }
    show.bpm = v;
  } else {
    int v = 0;
    auto [q, ec] = std::from_chars(p, end, v);
    if (ec != std::errc() || q != end || v < 1 || v > MAX_BEATS_PER_BAR) {
      why = "beats '" + std::string(number) + "' is not a whole number of beats to a bar from 1 to 64";
      return false;
    }
    show.beats_per_bar = v;
  }
  return true;
}

// A plain decimal, "12", "-0.35", ".5": its value, exactly as the digits say where a double can
// hold it. False for anything else (no exponents: times are written as people count them).
bool parse_decimal(std::string_view s, double& out) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  const size_t dot = s.find('.');
  std::string_view whole = s.substr(0, dot);
  std::string_view frac = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
  if (whole.empty() && frac.empty()) return false;
  while (!frac.empty() && frac.back() == '0') frac.remove_suffix(1);
  for (char c : whole)
    if (!is_digit(c)) return false;
  for (char c : frac)
    if (!is_digit(c)) return false;
  while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
  if (whole.size() > 12 || frac.size() > 9) return false;
  int64_t whole_v = 0, frac_v = 0, scale = 1;
  for (char c : whole) whole_v = whole_v * 10 + (c - '0');
  for (char c : frac) frac_v = frac_v * 10 + (c - '0'), scale *= 10;
  out = static_cast<double>(whole_v) + static_cast<double>(frac_v) / static_cast<double>(scale);
  if (negative) out = -out;
  return true;
}

// "BAR:BEAT" or "BAR:BEAT.FRACTION", bars and beats from 1: the exact place on the grid, in rows.
std::optional<double> parse_bar_beat(std::string_view w, const Grids& grids, std::string& why) {
  const size_t colon = w.find(':');
  const std::string_view bar_text = w.substr(0, colon), beat_text = w.substr(colon + 1);
  bool bar_digits = !bar_text.empty() && bar_text.size() <= 9;
  for (char c : bar_text) bar_digits = bar_digits && is_digit(c);
  double beat = 0;
  if (!bar_digits || beat_text.empty() || !is_digit(beat_text[0]) || !parse_decimal(beat_text, beat)) {
    why = "time '" + std::string(w) + "' is not bar:beat (\"17:3\", or \"17:3.5\" half a beat later)";
    return std::nullopt;
  }
  const long bar = std::stol(std::string(bar_text));
  if (!grids.known()) {
    why = "time '" + std::string(w) + "' is in bars and beats, which need the music's tempo (a line \"bpm 120\")";
    return std::nullopt;
  }
  const Grid& grid = grids.of_bar(bar);
  if (bar < 1 || beat < 1.0) {
    why = "time '" + std::string(w) + "': bars and beats count from 1 (\"1:1\" is the first beat)";
    return std::nullopt;
  }
  if (beat >= grid.beats_per_bar + 1.0) {
    why = "time '" + std::string(w) + "': a bar has " + std::to_string(grid.beats_per_bar) + " beats";
    return std::nullopt;
  }
  const double beats = static_cast<double>(bar - grid.first_bar) * grid.beats_per_bar + (beat - 1.0);
  return grid.start_row + beats * (60.0 * ROW_RATE) / grid.bpm;
}

// A place in the music, exactly: rows, seconds on a whole row, or bar:beat on the grid.
std::optional<double> parse_place(std::string_view w, const Grids& grids, std::string& why) {
  if (w.find(':') != std::string_view::npos) return parse_bar_beat(w, grids, why);
  const std::optional<int32_t> row = parse_time(w, why);
  if (!row) return std::nullopt;
  return static_cast<double>(*row);
}

// The nearest row, halves away from zero; none when no track can hold it.
std::optional<int32_t> nearest_row(double exact, std::string_view w, std::string& why) {
  const double row = std::round(exact);
  if (!(row >= std::numeric_limits<int32_t>::min() && row <= std::numeric_limits<int32_t>::max())) {
    why = "time '" + std::string(w) + "' is beyond the rows a track can hold";
    return std::nullopt;
  }
  return static_cast<int32_t>(row);
}

// "start TIME": where bar 1 beat 1 falls in the music, in rows or seconds (any fraction).
bool parse_start_line(const std::vector<std::string_view>& w, Grid& grid, std::string& why) {
  if (w.size() != 2) {
    why = "a start line is 'start' and where bar 1 beat 1 falls in the music (\"start 0.35s\")";
    return false;
  }
  std::string_view t = w[1];
  const bool seconds = t.size() > 1 && t.back() == 's';
  if (seconds) t.remove_suffix(1);
  double v = 0;
  if (!parse_decimal(t, v)) {
    why = "start '" + std::string(w[1]) + "' is neither rows (\"7\") nor seconds (\"0.35s\")";
    return false;
  }
  grid.start_row = seconds ? v * ROW_RATE : v;
  return true;
}

constexpr size_t MAX_PATTERN_KEYS = 100000;
const char* const PATTERN_FORM =
    "a pattern is 'repeat FROM to TO every N beats: VALUE INTERPOLATION, ...' "
    "(\"repeat 9:1 to 17:1 every 1 beat: 3 step, 4 step\")";

struct PatternItem {
  float value;
  int32_t type;
};

struct Pattern {
  double from = 0, to = 0, step = 0;  // exact places and the step, in rows
  std::vector<PatternItem> items;
  size_t keys = 0;
};

// "repeat FROM to TO every N beat[s]|bar[s]: VALUE INTERPOLATION, VALUE INTERPOLATION, ..."
// Keys at FROM, FROM + N, ... before TO, their values going round the list; TO must lie a whole
// number of steps after FROM.
std::optional<Pattern> parse_pattern(const std::vector<std::string_view>& w, const Grids& grids, std::string& why) {
  if (w.size() < 8 || w[2] != "to" || w[4] != "every") {
    why = PATTERN_FORM;
    return std::nullopt;
  }
  Pattern p;
  const std::optional<double> from = parse_place(w[1], grids, why);
  if (!from) return std::nullopt;
  const std::optional<double> to = parse_place(w[3], grids, why);
  if (!to) return std::nullopt;
  p.from = *from;
  p.to = *to;
  std::string_view unit = w[6];
  size_t rest = 7;
  if (unit.ends_with(':')) {
    unit.remove_suffix(1);
  } else if (w[7] == ":") {
    rest = 8;
  } else {
    why = PATTERN_FORM;
    return std::nullopt;
  }
  double count = 0;
  if (!parse_decimal(w[5], count) || !(count > 0)) {
    why = "pattern step '" + std::string(w[5]) + "' is not a number of beats or bars above 0";
    return std::nullopt;
  }
  const bool beats = unit == "beat" || unit == "beats", bars = unit == "bar" || unit == "bars";
  if (!beats && !bars) {
    why = "pattern step unit '" + std::string(unit) + "' is neither beats nor bars";
    return std::nullopt;
  }
  if (!grids.known()) {
    why = "a pattern steps in beats, which need the music's tempo (a line \"bpm 120\")";
    return std::nullopt;
  }
  const Grid& grid = grids.of_row(*from);  // the pattern steps in the beats of the grid it starts in
  const double step_beats = bars ? count * grid.beats_per_bar : count;
  p.step = step_beats * grid.beat_rows();
  std::string list;
  for (size_t i = rest; i < w.size(); ++i) list += std::string(w[i]) + " ";
  size_t begin = 0;
  for (;;) {
    const size_t comma = list.find(',', begin);
    const std::string item = list.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
    const std::vector<std::string_view> iw = split_words(item);
    if (iw.size() != 2) {
      why = "each key of a pattern is a value and an interpolation (\"3 step\"), separated by commas";
      return std::nullopt;
    }
    const std::optional<float> value = parse_value(iw[0], why);
    if (!value) return std::nullopt;
    const std::optional<int32_t> type = parse_interpolation(iw[1], why);
    if (!type) return std::nullopt;
    p.items.push_back({*value, *type});
    if (comma == std::string::npos) break;
    begin = comma + 1;
  }
  if (!(p.to > p.from)) {
    why = "the pattern ends at " + std::string(w[3]) + ", not after it starts at " + std::string(w[1]);
    return std::nullopt;
  }
  // Whole steps, in the grid's own measure (beats), so that no rounding decides. The list may stop
  // partway round: "3, 4, 5" over 32 beats ends on 4.
  const double steps = (p.to - p.from) / p.step;
  const double whole = std::round(steps);
  if (whole < 1 || std::fabs(steps - whole) > 1e-9 * std::max(1.0, steps)) {
    char measure[120];
    std::snprintf(measure, sizeof measure, "steps of %g %s make %g steps to it", count, bars ? "bars" : "beats", steps);
    why = "the pattern runs past its end " + std::string(w[3]) + ": its " + measure +
          " (make the span a whole number of steps)";
    return std::nullopt;
  }
  if (whole > static_cast<double>(MAX_PATTERN_KEYS)) {
    why = "the pattern makes more than " + std::to_string(MAX_PATTERN_KEYS) + " keys";
    return std::nullopt;
  }
  p.keys = static_cast<size_t>(whole);
  return p;
}

// A word alone on its line is a track name unless it starts like a number, which is a key missing
// its value and interpolation.
bool starts_like_a_name(std::string_view w) {
  return !w.empty() && !is_digit(w[0]) && w[0] != '-' && w[0] != '+' && w[0] != '.';
}

struct SourceLine {
  int number;
  std::vector<std::string_view> words;
};

// Calls `each` with every line that holds words, comments cut off. The lines are split as they
// come, not kept: a text of millions of short lines costs no memory beyond itself.
template <class Each>
void for_each_source_line(std::string_view text, Each each) {
  int number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    SourceLine l{number, split_words(line)};
    if (!l.words.empty()) each(l);
  }
}

// The faults of a text in line order, at most MAX_REPORTED_FAULTS of them: a text that is not a
// show text at all (a photo saved as show.txt) has a fault on every line, and each message would
// cost memory. Those beyond are counted, and reported as one more line.
class Faults {
 public:
  void add(int line, std::string message) {
    ++count_;
    kept_.emplace_back(line, std::move(message));
    if (kept_.size() >= 2 * MAX_REPORTED_FAULTS) keep_first();
  }
  std::vector<std::string> lines(std::string_view file_name) {
    keep_first();
    std::vector<std::string> out;
    for (const auto& [line, message] : kept_)
      out.push_back(std::string(file_name) + ":" + std::to_string(line) + ": " + message);
    if (count_ > kept_.size())
      out.push_back(std::string(file_name) + ":" + std::to_string(first_dropped_) + ": and " +
                    std::to_string(count_ - kept_.size()) + " more faults from here on");
    return out;
  }

 private:
  // The first MAX_REPORTED_FAULTS by line (in the order found among equal lines), and the line of
  // the first one left out.
  void keep_first() {
    std::stable_sort(kept_.begin(), kept_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    if (kept_.size() <= MAX_REPORTED_FAULTS) return;
    const int dropped = kept_[MAX_REPORTED_FAULTS].first;
    first_dropped_ = first_dropped_ == 0 ? dropped : std::min(first_dropped_, dropped);
    kept_.resize(MAX_REPORTED_FAULTS);
  }
  std::vector<std::pair<int, std::string>> kept_;
  size_t count_ = 0;
  int first_dropped_ = 0;
};

}  // namespace

ShowText parse_show_text(std::string_view text, std::string_view file_name) {
  ShowText show;
  Faults faults;
  auto fail = [&](int line, const std::string& message) { faults.add(line, message); };

  // The grids first: "bpm", "beats" and "start" may stand anywhere, and bar:beat times anywhere
  // in the text are read on them. No track is called by these words, so they always start such a
  // line; keys after it still belong to the track above. Each "bpm" line after the first begins a
  // grid of its own, with the "beats" and "start" lines that follow it.
  Grids grids;
  struct Given {
    int bpm = 0, beats = 0, start = 0;  // the lines where they were given
  };
  std::vector<Given> given(1);
  grids.grids.resize(1);
  for_each_source_line(text, [&](const SourceLine& l) {
    const std::string_view first = l.words[0];
    if (first != "bpm" && first != "beats" && first != "start") return;
    if (first == "bpm" && given.back().bpm != 0) {
      grids.grids.push_back(Grid{});
      given.push_back(Given{});
    }
    int& line = first == "bpm" ? given.back().bpm : first == "beats" ? given.back().beats : given.back().start;
    if (line != 0) {
      fail(l.number, std::string(first) + " is already given at line " + std::to_string(line) +
                         (first == "bpm" ? "" : " (each tempo's beats and start follow its bpm line)"));
      return;
    }
    std::string why;
    if (first == "start" ? !parse_start_line(l.words, grids.grids.back(), why)
                         : !parse_tempo_line(l.words, grids.grids.back(), why)) {
      fail(l.number, why);
      return;
    }
    line = l.number;
  });
  // Each further grid starts after the one before, and its first bar is the number of the earlier
  // grid's first bar line at or after its start.
  for (size_t k = 1; k < grids.grids.size(); ++k) {
    Grid& g = grids.grids[k];
    const Grid& before = grids.grids[k - 1];
    if (given[k].bpm == 0) {  // its bpm line was refused, and the error says where
      grids.grids.resize(k);
      break;
    }
    if (given[k].start == 0) {
      fail(given[k].bpm, "a further tempo needs a start line after it: where its first bar falls (\"start 95.2s\")");
      grids.grids.resize(k);
      break;
    }
    if (!(g.start_row > before.start_row) || before.bpm <= 0.0 || g.bpm <= 0.0) {
      fail(given[k].start, "this tempo's start is not after the start of the one before (line " +
                               std::to_string(given[k - 1].start != 0 ? given[k - 1].start : given[k - 1].bpm) + ")");
      grids.grids.resize(k);
      break;
    }
    g.first_bar = before.first_bar +
                  static_cast<long long>(std::ceil((g.start_row - before.start_row) / (before.beat_rows() * before.beats_per_bar) - 1e-9));
  }
  show.bpm = grids.grids[0].bpm;
  show.beats_per_bar = given[0].beats != 0 ? grids.grids[0].beats_per_bar : 0;
  show.start_row = grids.grids[0].start_row;
  if (!grids.known()) grids.grids.clear();
  for (const Grid& g : grids.grids) show.tempi.push_back(ShowTempo{g.bpm, g.beats_per_bar, g.start_row, g.first_bar});

  TextTrack* track = nullptr;
  bool named = false;        // a track name line has been seen, accepted or not
  int last_key_line = 0;     // the line of the current track's last key
  int pattern_line = 0;      // the current track's last pattern, while it is the last thing in it
  int32_t pattern_end = 0;   // and the row it runs to
  size_t text_keys = 0;      // over all tracks
  // A key goes after the ones before it, at a row the show can reach.
  auto add_key = [&](int line, int32_t row, float value, int32_t type) {
    if (row < 0) {
      fail(line, "row " + std::to_string(row) + " is before the music starts (rows count from 0)");
      return false;
    }
    if (pattern_line != 0 && row < pattern_end) {
      fail(line, "row " + std::to_string(row) + " is inside the pattern of line " + std::to_string(pattern_line) +
                     ", which runs to row " + std::to_string(pattern_end));
      return false;
    }
    if (!track->keys.empty() && row == track->keys.back().row) {
      fail(line, "two keys at row " + std::to_string(row) + " (the other is on line " + std::to_string(last_key_line) + ")");
      return false;
    }
    if (!track->keys.empty() && row < track->keys.back().row) {
      fail(line, "row " + std::to_string(row) + " is not after the previous key's row " +
                     std::to_string(track->keys.back().row) + " (rows must increase)");
      return false;
    }
    if (track->keys.size() >= size_t(MAX_TRACK_KEYS)) {
      fail(line, "track '" + track->name + "' would hold more than " + std::to_string(MAX_TRACK_KEYS) +
                     " keys, the most a track may hold");
      return false;
    }
    if (text_keys >= MAX_TEXT_KEYS) {
      fail(line, "the text would make more than " + std::to_string(MAX_TEXT_KEYS) +
                     " keys, the most a show text may make");
      return false;
    }
    ++text_keys;
    track->keys.push_back(TrackKey{row, value, type});
    track->key_lines.push_back(line);
    last_key_line = line;
    return true;
  };

  for_each_source_line(text, [&](const SourceLine& l) {
    const int number = l.number;
    const std::vector<std::string_view>& w = l.words;
    if (w[0] == "bpm" || w[0] == "beats" || w[0] == "start") return;

    if (w.size() == 1 && starts_like_a_name(w[0])) {
      track = nullptr;  // keys after a refused name must not land in the previous track
      named = true;
      last_key_line = pattern_line = 0;
      if (!is_scene_track(w[0])) {
        static const std::string known = [] {
          std::string names;
          for (std::string_view n : KESTO_TRACK_NAMES) names += (names.empty() ? "" : ", ") + std::string(n);
          return names;
        }();
        fail(number, "unknown track '" + std::string(w[0]) + "' (the show reads " + known + ")");
        return;
      }
      bool duplicate = false;
      for (const TextTrack& t : show.tracks)
        if (t.name == w[0]) {
          fail(number, "track '" + t.name + "' is already given at line " + std::to_string(t.line));
          duplicate = true;
        }
      if (duplicate) return;
      show.tracks.push_back(TextTrack{std::string(w[0]), {}, number, {}});
      track = &show.tracks.back();
      return;
    }
    const bool pattern = w[0] == "repeat";
    if (!pattern && w.size() != 3) {
      if (w.size() > 3)
        fail(number, "unexpected '" + std::string(w[3]) + "' after the interpolation");
      else
        fail(number, "a key is a time, a value and an interpolation (\"12.5s 1.0 linear\"); a track name stands alone");
      return;
    }
    if (!named) {
      fail(number, std::string(pattern ? "pattern" : "key") + " before any track name");
      return;
    }
    if (track == nullptr) return;  // the name above was refused and has already been reported

    std::string why;
    if (pattern) {
      const std::optional<Pattern> p = parse_pattern(w, grids, why);
      if (!p) { fail(number, why); return; }
      for (size_t i = 0; i < p->keys; ++i) {
        // Each key from the exact start, so that no rounding adds up along the way.
        const std::optional<int32_t> row = nearest_row(p->from + static_cast<double>(i) * p->step, w[1], why);
        if (!row) { fail(number, why); break; }
        const PatternItem& item = p->items[i % p->items.size()];
        if (!add_key(number, *row, item.value, item.type)) break;
      }
      const std::optional<int32_t> end = nearest_row(p->to, w[3], why);
      pattern_line = end ? number : 0;
      pattern_end = end.value_or(0);
      return;
    }
    const std::optional<double> place = parse_place(w[0], grids, why);
    if (!place) { fail(number, why); return; }
    const std::optional<int32_t> row = nearest_row(*place, w[0], why);
    if (!row) { fail(number, why); return; }
    const std::optional<float> value = parse_value(w[1], why);
    if (!value) { fail(number, why); return; }
    const std::optional<int32_t> type = parse_interpolation(w[2], why);
    if (!type) { fail(number, why); return; }
    if (add_key(number, *row, *value, *type)) pattern_line = 0;
  });
  show.errors = faults.lines(file_name);
  return show;
}

std::optional<int32_t> row_of_time(std::string_view time, const ShowText& show, std::string& why) {
  Grids grids;
  for (const ShowTempo& t : show.tempi) grids.grids.push_back(Grid{t.bpm, t.beats_per_bar, t.start_row, t.first_bar});
  if (grids.grids.empty() && show.bpm > 0) {
    grids.grids.push_back(Grid{show.bpm, show.beats_per_bar > 0 ? show.beats_per_bar : 4, show.start_row, 1});
  }
  const std::optional<double> place = parse_place(time, grids, why);
  if (!place) return std::nullopt;
  return nearest_row(*place, time, why);
}

std::string format_float(float v) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  (void)ec;  // 64 characters hold any float
  return std::string(buf, end);
}

std::string_view interpolation_name(int32_t type) {
  if (type < 0 || type > 3) return {};
  return INTERPOLATIONS[type];
}

std::string format_track_text(std::string_view name, const std::vector<TrackKey>& keys) {
  std::string out = std::string(name) + "\n";
  for (const TrackKey& k : keys) {
    std::string row = std::to_string(k.row);
    std::string value = format_float(k.value);
    std::string seconds = format_float(static_cast<float>(k.row / ROW_RATE));
    out += "  " + row + std::string(row.size() < 8 ? 8 - row.size() : 1, ' ') + value +
           std::string(value.size() < 14 ? 14 - value.size() : 1, ' ') + std::string(interpolation_name(k.type)) +
           std::string(8 - interpolation_name(k.type).size(), ' ') + "# " + seconds + "s\n";
  }
  return out;
}
