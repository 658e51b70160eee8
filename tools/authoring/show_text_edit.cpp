#include "tools/authoring/show_text_edit.h"

#include <algorithm>
#include <vector>

#include "tools/authoring/show_text.h"

namespace {

struct SourceLine {
  size_t begin, end;  // the line's bytes, its line break excluded
};

std::vector<SourceLine> lines_of(std::string_view text) {
  std::vector<SourceLine> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back({start, end});
    start = end + 1;
  }
  return lines;
}

// Byte spans of the words of a line before any comment.
std::vector<std::pair<size_t, size_t>> words_of(std::string_view line) {
  std::vector<std::pair<size_t, size_t>> words;
  const size_t stop = std::min(line.find('#'), line.size());
  size_t i = 0;
  while (i < stop) {
    while (i < stop && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t j = i;
    while (j < stop && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    if (j > i) words.emplace_back(i, j - i);
    i = j;
  }
  return words;
}

struct Parsed {
  ShowText show;
  std::vector<SourceLine> lines;
  const TextTrack* track = nullptr;
};

bool parse(std::string_view text, std::string_view track, Parsed& p, std::string& why) {
  p.show = parse_show_text(text, "show text");
  if (!p.show.errors.empty()) {
    why = "the text has faults; mend them first (" + p.show.errors.front() + ")";
    return false;
  }
  p.lines = lines_of(text);
  for (const TextTrack& t : p.show.tracks)
    if (t.name == track) p.track = &t;
  return true;
}

bool is_pattern_line(std::string_view text, const Parsed& p, int line) {
  const SourceLine& l = p.lines[static_cast<size_t>(line - 1)];
  const std::string_view s = text.substr(l.begin, l.end - l.begin);
  const auto w = words_of(s);
  return !w.empty() && s.substr(w[0].first, w[0].second) == "repeat";
}

// The key of the track at `row`, as an index; -1 when there is none.
int key_at(const TextTrack& t, int32_t row) {
  for (size_t i = 0; i < t.keys.size(); ++i)
    if (t.keys[i].row == row) return static_cast<int>(i);
  return -1;
}

// The edited text must be sound, and the edit what was meant; otherwise nothing changes.
bool check(const std::string& edited, std::string& why) {
  const ShowText after = parse_show_text(edited, "show text");
  if (!after.errors.empty()) {
    why = "the edit would make a fault: " + after.errors.front();
    return false;
  }
  return true;
}

std::string replace_word(std::string_view text, const Parsed& p, int line, size_t word, std::string_view by) {
  const SourceLine& l = p.lines[static_cast<size_t>(line - 1)];
  const auto w = words_of(text.substr(l.begin, l.end - l.begin));
  std::string out(text.substr(0, l.begin + w[word].first));
  out += by;
  out += text.substr(l.begin + w[word].first + w[word].second);
  return out;
}

std::string refused_pattern(int32_t row, int line) {
  return "the key at row " + std::to_string(row) + " comes from the pattern on line " + std::to_string(line) +
         "; change it there";
}

}  // namespace

bool set_key_in_text(std::string_view text, std::string_view track, std::string_view time, float value,
                     std::optional<int32_t> type, std::string& edited, std::string& why) {
  Parsed p;
  if (!parse(text, track, p, why)) return false;
  const std::optional<int32_t> row = row_of_time(time, p.show, why);
  if (!row) return false;
  if (p.track) {
    const TextTrack& t = *p.track;
    if (const int i = key_at(t, *row); i >= 0) {
      const int line = t.key_lines[static_cast<size_t>(i)];
      if (is_pattern_line(text, p, line)) {
        why = refused_pattern(*row, line);
        return false;
      }
      // The interpolation first: it stands after the value, so the value's place does not move.
      std::string out(text);
      if (type) {
        const Parsed at{p.show, lines_of(out), nullptr};
        out = replace_word(out, at, line, 2, interpolation_name(*type));
      }
      const Parsed at{p.show, lines_of(out), nullptr};
      edited = replace_word(out, at, line, 1, format_float(value));
      return check(edited, why);
    }
  }
  // A new line: after the last key before the row, or first in the block.
  int32_t chosen = type.value_or(Step);
  size_t insert_at;
  std::string indent = "  ";
  if (p.track) {
    const TextTrack& t = *p.track;
    int before = -1;
    for (size_t i = 0; i < t.keys.size(); ++i)
      if (t.keys[i].row < *row) before = static_cast<int>(i);
    if (!type && before >= 0) chosen = t.keys[static_cast<size_t>(before)].type;
    const int after_line = before >= 0 ? t.key_lines[static_cast<size_t>(before)] : t.line;
    const int like_line = before >= 0 ? after_line : !t.key_lines.empty() ? t.key_lines.front() : 0;
    if (like_line > 0) {
      const SourceLine& l = p.lines[static_cast<size_t>(like_line - 1)];
      const std::string_view s = text.substr(l.begin, l.end - l.begin);
      indent = std::string(s.substr(0, s.find_first_not_of(" \t")));
    }
    const SourceLine& l = p.lines[static_cast<size_t>(after_line - 1)];
    insert_at = l.end < text.size() ? l.end + 1 : text.size();
  } else {
    insert_at = text.size();
  }
  const std::string key =
      indent + std::string(time) + "  " + format_float(value) + "  " + std::string(interpolation_name(chosen)) + "\n";
  std::string out(text.substr(0, insert_at));
  if (!out.empty() && out.back() != '\n') out += '\n';
  if (!p.track) out += std::string(track) + "\n";
  out += key;
  out += text.substr(insert_at);
  edited = std::move(out);
  return check(edited, why);
}

bool remove_key_from_text(std::string_view text, std::string_view track, int32_t row, std::string& edited,
                          std::string& why) {
  Parsed p;
  if (!parse(text, track, p, why)) return false;
  const int i = p.track ? key_at(*p.track, row) : -1;
  if (i < 0) {
    why = "no key of " + std::string(track) + " at row " + std::to_string(row);
    return false;
  }
  const int line = p.track->key_lines[static_cast<size_t>(i)];
  if (is_pattern_line(text, p, line)) {
    why = refused_pattern(row, line);
    return false;
  }
  auto cut = [&](std::string_view s, const SourceLine& l) {
    return std::string(s.substr(0, l.begin)) + std::string(s.substr(std::min(l.end + 1, s.size())));
  };
  std::string out = cut(text, p.lines[static_cast<size_t>(line - 1)]);
  if (p.track->keys.size() == 1) out = cut(out, p.lines[static_cast<size_t>(p.track->line - 1)]);
  edited = std::move(out);
  return check(edited, why);
}

bool cycle_interpolation_in_text(std::string_view text, std::string_view track, int32_t row, std::string& edited,
                                 std::string& why) {
  Parsed p;
  if (!parse(text, track, p, why)) return false;
  int i = -1;
  if (p.track)
    for (size_t k = 0; k < p.track->keys.size(); ++k)
      if (p.track->keys[k].row <= row) i = static_cast<int>(k);
  if (i < 0) {
    why = "no key of " + std::string(track) + " at or before row " + std::to_string(row);
    return false;
  }
  const int line = p.track->key_lines[static_cast<size_t>(i)];
  if (is_pattern_line(text, p, line)) {
    why = refused_pattern(p.track->keys[static_cast<size_t>(i)].row, line);
    return false;
  }
  const int32_t next = (p.track->keys[static_cast<size_t>(i)].type + 1) % 4;
  edited = replace_word(text, p, line, 2, interpolation_name(next));
  return check(edited, why);
}
