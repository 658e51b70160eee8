#include <algorithm>
#include <limits>

#include "tools/make/music/music_map.h"

double MusicMap::bpm_at(double seconds) const {
  double bpm_here = bpm;
  for (const SongSpan& s : songs)
    if (s.first_beat < static_cast<int>(beats.size()) && beats[s.first_beat] <= seconds + 1e-9) bpm_here = s.bpm;
  return bpm_here;
}

MusicMap join_songs(const std::vector<SongPart>& parts, double crossfade, double length) {
  MusicMap out;
  if (parts.empty()) return out;
  out.bpm = parts[0].map.bpm;
  out.beats_per_bar = parts[0].map.beats_per_bar;
  out.sound_start = parts[0].map.sound_start;
  out.steady = true;
  const double limit = length > 0 ? length : std::numeric_limits<double>::infinity();
  double confidence = 0, weight = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    const SongPart& p = parts[i];
    const MusicMap& m = p.map;
    // The song holds the music from the middle of the crossfade before it to the middle of the
    // next one.
    const double from = i == 0 ? 0.0 : p.start + crossfade / 2;
    const double to = std::min(limit, i + 1 < parts.size() ? parts[i + 1].start + crossfade / 2 : p.start + m.end);
    if (from >= to) break;
    SongSpan span{p.name, p.start, m.bpm, m.beats_per_bar, static_cast<int>(out.beats.size()),
                  static_cast<int>(out.bars.size()), p.start + (m.bars.empty() ? 0.0 : m.beats[m.bars[0]])};
    std::vector<int> beat_index(m.beats.size(), -1);
    for (size_t b = 0; b < m.beats.size(); ++b) {
      const double t = p.start + m.beats[b];
      if (t < from || t >= to || (!out.beats.empty() && t <= out.beats.back())) continue;
      beat_index[b] = static_cast<int>(out.beats.size());
      out.beats.push_back(t);
    }
    std::vector<int> bar_index(m.bars.size(), -1);
    for (size_t k = 0; k < m.bars.size(); ++k)
      if (m.bars[k] < static_cast<int>(beat_index.size()) && beat_index[m.bars[k]] >= 0) {
        bar_index[k] = static_cast<int>(out.bars.size());
        out.bars.push_back(beat_index[m.bars[k]]);
      }
    // Sections: the one the song's stretch begins in starts at its first bar there.
    const int first_kept_bar = span.first_bar;
    for (size_t s = 0; s < m.sections.size(); ++s) {
      const int last = s + 1 < m.sections.size() ? m.sections[s + 1].first_bar : static_cast<int>(m.bars.size());
      int first = -1;
      for (int k = m.sections[s].first_bar; k < last && first < 0; ++k)
        if (k >= 0 && k < static_cast<int>(bar_index.size()) && bar_index[k] >= 0) first = bar_index[k];
      if (first < 0) continue;
      if (!out.sections.empty() && out.sections.back().first_bar >= first) continue;
      Section section = m.sections[s];
      section.first_bar = first;
      out.sections.push_back(section);
    }
    if (out.sections.empty() || out.sections.back().first_bar < first_kept_bar) {
      // No section of the song began in its stretch: the one it is in begins with it.
      if (first_kept_bar < static_cast<int>(out.bars.size()))
        out.sections.push_back(Section{first_kept_bar, m.sections.empty() ? Energy::Mid : m.sections.back().energy, 0});
    }
    out.steady = out.steady && m.steady;
    if (!m.note.empty()) out.note += (out.note.empty() ? "" : "; ") + p.name + ": " + m.note;
    confidence += m.confidence * (to - from), weight += to - from;
    out.end = std::min(limit, p.start + m.end);
    out.songs.push_back(span);
  }
  if (length > 0) out.end = std::min(out.end, length);
  out.confidence = weight > 0 ? confidence / weight : 0;
  if (out.beats.empty()) out.beats.push_back(0);
  if (out.bars.empty()) out.bars.push_back(0);
  if (out.sections.empty()) out.sections.push_back(Section{0, Energy::Mid, 0});
  out.sections.front().first_bar = 0;
  return out;
}
