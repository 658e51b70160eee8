#include "tools/show_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "show/music_clock.h"
#include "tools/scene_track_names.h"

namespace {

constexpr std::string_view INTERPOLATIONS[] = {"step", "linear", "smooth", "ramp"};

struct Line {
  int number;
  std::vector<std::string_view> words;
};

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

// A tempo line: "bpm N" or "beats N". Reports into `why` and returns false when it is malformed.
bool parse_tempo_line(const std::vector<std::string_view>& w, ShowText& show, std::string& why) {
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

// A word alone on its line is a track name unless it starts like a number, which is a key missing
// its value and interpolation.
bool starts_like_a_name(std::string_view w) {
  return !w.empty() && !is_digit(w[0]) && w[0] != '-' && w[0] != '+' && w[0] != '.';
}

}  // namespace

ShowText parse_show_text(std::string_view text, std::string_view file_name) {
  ShowText show;
  auto fail = [&](int line, const std::string& message) {
    show.errors.push_back(std::string(file_name) + ":" + std::to_string(line) + ": " + message);
  };
  TextTrack* track = nullptr;
  bool named = false;  // a track name line has been seen, accepted or not
  int bpm_line = 0, beats_line = 0;  // where the tempo was given
  int number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    const std::vector<std::string_view> w = split_words(line);
    if (w.empty()) continue;

    // No track is called "bpm" or "beats", so these words always start a tempo line. Keys after
    // it still belong to the track above.
    if (w[0] == "bpm" || w[0] == "beats") {
      int& given = w[0] == "bpm" ? bpm_line : beats_line;
      if (given != 0) {
        fail(number, std::string(w[0]) + " is already given at line " + std::to_string(given));
        continue;
      }
      std::string why;
      if (!parse_tempo_line(w, show, why)) {
        fail(number, why);
        continue;
      }
      given = number;
      continue;
    }

    if (w.size() == 1 && starts_like_a_name(w[0])) {
      track = nullptr;  // keys after a refused name must not land in the previous track
      named = true;
      if (!is_scene_track(w[0])) {
        std::string known;
        for (std::string_view n : KESTO_TRACK_NAMES) known += (known.empty() ? "" : ", ") + std::string(n);
        fail(number, "unknown track '" + std::string(w[0]) + "' (the show reads " + known + ")");
        continue;
      }
      bool duplicate = false;
      for (const TextTrack& t : show.tracks)
        if (t.name == w[0]) {
          fail(number, "track '" + t.name + "' is already given at line " + std::to_string(t.line));
          duplicate = true;
        }
      if (duplicate) continue;
      show.tracks.push_back(TextTrack{std::string(w[0]), {}, number});
      track = &show.tracks.back();
      continue;
    }
    if (w.size() != 3) {
      if (w.size() > 3)
        fail(number, "unexpected '" + std::string(w[3]) + "' after the interpolation");
      else
        fail(number, "a key is a time, a value and an interpolation (\"12.5s 1.0 linear\"); a track name stands alone");
      continue;
    }
    if (!named) {
      fail(number, "key before any track name");
      continue;
    }
    if (track == nullptr) continue;  // the name above was refused and has already been reported

    std::string why;
    const std::optional<int32_t> row = parse_time(w[0], why);
    if (!row) { fail(number, why); continue; }
    const std::optional<float> value = parse_value(w[1], why);
    if (!value) { fail(number, why); continue; }
    const std::optional<int32_t> type = parse_interpolation(w[2], why);
    if (!type) { fail(number, why); continue; }
    if (!track->keys.empty() && *row <= track->keys.back().row) {
      fail(number, "row " + std::to_string(*row) + " is not after the previous key's row " +
                       std::to_string(track->keys.back().row) + " (rows must increase)");
      continue;
    }
    track->keys.push_back(TrackKey{*row, *value, *type});
  }
  return show;
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
