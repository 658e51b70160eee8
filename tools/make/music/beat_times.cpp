#include "tools/make/music/beat_times.h"

#include <cmath>
#include <cstdio>

#include "show/music_clock.h"

BeatTimes::BeatTimes(const MusicMap& m) {
  char line[200];
  auto grid = [&](const std::string& name, double bpm, int beats, double start, long long bar) {
    // Four decimals of tempo keep a beat within a millisecond of the music's after ten minutes.
    std::snprintf(line, sizeof line, "bpm %.4f%s\nbeats %d\nstart %.4fs\n", bpm, name.empty() ? "" : ("    # " + name + (bar > 1 ? ", from bar " + std::to_string(bar) : "")).c_str(), beats, start);
    lines_ += (lines_.empty() ? "" : "\n") + std::string(line);
  };
  if (m.bars.empty() || m.beats.empty() || m.bpm <= 0) return;
  if (m.songs.empty()) {
    grid("", m.bpm, m.beats_per_bar, m.beats[m.bars[0]], 1);
  } else {
    for (size_t k = 0; k < m.songs.size(); ++k) {
      const SongSpan& s = m.songs[k];
      const int bar = k == 0 ? 0 : s.first_bar;
      if (bar >= static_cast<int>(m.bars.size())) break;
      // A song's grid from its first bar in the music: where the one before hands over to it.
      grid(s.name, s.bpm, s.beats_per_bar, m.beats[m.bars[bar]], bar + 1);
    }
  }
  grid_ = parse_show_text(lines_, "grid");
  if (!grid_.errors.empty()) grid_.tempi.clear();
  // The bar numbers a song starts at are the text's own; said in the comments as it counts them.
  if (grid_.tempi.size() > 1) {
    lines_.clear();
    for (size_t k = 0; k < m.songs.size() && k < grid_.tempi.size(); ++k) {
      const ShowTempo& t = grid_.tempi[k];
      grid(m.songs[k].name, t.bpm, t.beats_per_bar, t.start_row / ROW_RATE, t.first_bar);
    }
  }
}

std::string BeatTimes::text(int row) const {
  const std::string plain = std::to_string(row);
  if (grid_.tempi.empty() || row < grid_.tempi[0].start_row - 1e-9) return plain;
  size_t k = 0;
  while (k + 1 < grid_.tempi.size() && grid_.tempi[k + 1].start_row <= row + 1e-9) ++k;
  const ShowTempo& t = grid_.tempi[k];
  const double beat_rows = 60.0 * ROW_RATE / t.bpm;
  const double beats = (row - t.start_row) / beat_rows;
  auto read_back = [&](const std::string& time) {
    std::string why;
    return row_of_time(time, grid_, why) == std::optional<int32_t>(row);
  };
  auto bar_beat = [&](long long beat_index, double fraction, int decimals) {
    const long long bar = t.first_bar + beat_index / t.beats_per_bar;
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%.*f", bar, decimals, static_cast<double>(beat_index % t.beats_per_bar + 1) + fraction);
    std::string s = text;
    if (decimals > 0) {
      while (s.back() == '0') s.pop_back();
      if (s.back() == '.') s.pop_back();
    }
    return s;
  };
  // The nearest beat when its row is this one (a beat seldom falls on a whole row).
  const std::string on_beat = bar_beat(std::llround(beats), 0, 0);
  if (read_back(on_beat)) return on_beat;
  // Otherwise the place between beats, with as few decimals as read back to the row.
  const long long whole = static_cast<long long>(std::floor(beats));
  for (int decimals : {2, 3, 4}) {
    const std::string between = bar_beat(whole, beats - static_cast<double>(whole), decimals);
    if (read_back(between)) return between;
  }
  return plain;
}
