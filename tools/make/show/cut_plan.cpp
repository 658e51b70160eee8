#include "tools/make/show/cut_plan.h"

#include <algorithm>
#include <cmath>

namespace {

struct Piece {
  double from, to, factor;  // real seconds, and the hold factor there
};

// Music time warped by the hold factors: a second of a loud section counts for more than one of a
// quiet one, so that units spaced evenly in warped time are held by their section's energy.
class WarpedTime {
 public:
  WarpedTime(const MusicMap& m, double end) {
    for (size_t i = 0; i < m.sections.size(); ++i) {
      const double from = i == 0 ? 0.0 : section_time(m, static_cast<int>(i));
      const double to = i + 1 < m.sections.size() ? section_time(m, static_cast<int>(i + 1)) : end;
      if (to > from) pieces_.push_back({from, std::min(to, end), energy_hold_factor(m.sections[i].energy)});
      if (to >= end) break;
    }
    if (pieces_.empty() || pieces_.back().to < end) pieces_.push_back({pieces_.empty() ? 0.0 : pieces_.back().to, end, 1.0});
  }
  double total() const {
    double w = 0;
    for (const Piece& p : pieces_) w += (p.to - p.from) / p.factor;
    return w;
  }
  double real(double warped) const {
    for (const Piece& p : pieces_) {
      const double span = (p.to - p.from) / p.factor;
      if (warped <= span) return p.from + warped * p.factor;
      warped -= span;
    }
    return pieces_.back().to;
  }

 private:
  std::vector<Piece> pieces_;
};

}  // namespace

double energy_hold_factor(Energy e) { return e == Energy::Quiet ? 1.35 : e == Energy::Loud ? 0.75 : 1.0; }

double section_time(const MusicMap& m, int section) {
  const int bar = m.sections[section].first_bar;
  return bar < static_cast<int>(m.bars.size()) ? m.beats[m.bars[bar]] : m.end;
}

namespace {

// Each chapter's unit moved onto the nearest section start within two of its holds (each section
// start to one chapter, in order), and the units between two such moves drawn along with them.
void draw_to_sections(const MusicMap& m, const std::vector<bool>& chapters, double end, std::vector<double>& ideal) {
  const size_t n = std::min(chapters.size(), ideal.size());
  std::vector<std::pair<size_t, double>> moved{{0, 0.0}};  // unit, new time
  double last_taken = 0;
  for (size_t k = 1; k < n; ++k) {
    if (!chapters[k]) continue;
    const double hold = ((k + 1 < ideal.size() ? ideal[k + 1] : end) - ideal[k - 1]) / 2;
    double best = -1;
    for (size_t i = 1; i < m.sections.size(); ++i) {
      const double t = section_time(m, static_cast<int>(i));
      if (t <= last_taken || t >= end || std::abs(t - ideal[k]) > 2 * hold) continue;
      // Room for the units since the last chapter moved, each at least half a hold.
      if (t - last_taken < 0.5 * hold * static_cast<double>(k - moved.back().first)) continue;
      if (best < 0 || std::abs(t - ideal[k]) < std::abs(best - ideal[k])) best = t;
    }
    if (best < 0) continue;
    moved.push_back({k, best});
    last_taken = best;
  }
  if (moved.size() == 1) return;
  moved.push_back({ideal.size(), end});
  const std::vector<double> before = ideal;
  auto at = [&](size_t k) { return k < before.size() ? before[k] : end; };
  for (size_t j = 0; j + 1 < moved.size(); ++j) {
    const auto [k0, t0] = moved[j];
    const auto [k1, t1] = moved[j + 1];
    const double i0 = at(k0), i1 = at(k1);
    for (size_t k = k0; k < std::min(k1, ideal.size()); ++k)
      ideal[k] = i1 > i0 ? t0 + (before[k] - i0) * (t1 - t0) / (i1 - i0) : t0;
  }
}

}  // namespace

std::vector<Slot> plan_slots(const MusicMap& m, const std::vector<double>& weights, const Pacing& pacing,
                             int last_row, const std::vector<bool>& chapters) {
  std::vector<Slot> slots;
  if (weights.empty() || last_row <= 0) return slots;
  const double end = last_row / 20.0;
  const WarpedTime warp(m, end);
  const double total = warp.total();

  // The units in order, and again from the first while they would be held too long.
  std::vector<int> order;
  double sum = 0;
  for (size_t i = 0; i < weights.size(); ++i) order.push_back(static_cast<int>(i)), sum += weights[i];
  for (size_t k = 0; total / sum > pacing.longest; ++k) {
    order.push_back(static_cast<int>(k % weights.size()));
    sum += weights[k % weights.size()];
  }
  const double unit_hold = total / sum;
  std::vector<double> ideal;  // real seconds where each unit would begin
  double at = 0;
  for (int u : order) {
    ideal.push_back(warp.real(at));
    at += weights[u] * unit_hold;
  }
  if (!chapters.empty()) draw_to_sections(m, chapters, end, ideal);

  // Each beat's strength as a place to cut: 3 a section's first beat, 2 a bar line, 1 the half bar.
  const int beats = static_cast<int>(m.beats.size());
  std::vector<int> strength(beats, 0);
  std::vector<int> beat_rows(beats);
  for (int i = 0; i < beats; ++i) beat_rows[i] = row_of(m.beats[i]);
  const int per_bar = std::max(1, m.beats_per_bar);
  for (int b : m.bars) {
    if (b < beats) strength[b] = 2;
    if (per_bar % 2 == 0 && b + per_bar / 2 < beats) strength[b + per_bar / 2] = std::max(strength[b + per_bar / 2], 1);
  }
  for (const Section& s : m.sections)
    if (s.first_bar < static_cast<int>(m.bars.size()) && m.bars[s.first_bar] < beats) strength[m.bars[s.first_bar]] = 3;
  // A beat of the song playing at t: songs of a playlist keep their own tempi.
  auto beat_at = [&](double t) { return 60.0 / m.bpm_at(t); };

  auto section_of = [&](int row) {
    int s = 0;
    for (int i = 1; i < static_cast<int>(m.sections.size()); ++i)
      if (row_of(section_time(m, i)) <= row) s = i;
    return s;
  };

  // Each section's first beat takes the change nearest to it: a new section is seen to begin. The
  // nearest change lies between the halves of its two holds, so neither hold more than halves.
  std::vector<int> pinned(ideal.size(), -1);
  for (size_t i = 1; i < m.sections.size(); ++i) {
    const int bar = m.sections[i].first_bar;
    if (bar >= static_cast<int>(m.bars.size()) || m.bars[bar] >= beats) continue;
    const double at = m.beats[m.bars[bar]];
    size_t nearest = 0;
    for (size_t k = 1; k < ideal.size(); ++k)
      if (nearest == 0 || std::abs(ideal[k] - at) < std::abs(ideal[nearest] - at)) nearest = k;
    if (nearest > 0 && pinned[nearest] < 0) pinned[nearest] = m.bars[bar];
  }

  slots.push_back(Slot{0, 0, order[0], 0, true});
  int prev = 0;
  for (size_t k = 1; k < ideal.size(); ++k) {
    int chosen = -1;
    const double t = ideal[k];
    const double beat_seconds = beat_at(t);
    const int min_gap = std::max(8, row_of(beat_seconds));
    if (pinned[k] >= 0 && beat_rows[pinned[k]] >= prev + min_gap && beat_rows[pinned[k]] <= last_row - min_gap)
      chosen = pinned[k];
    const double next = k + 1 < ideal.size() ? ideal[k + 1] : end;
    const double gap = std::min(t - ideal[k - 1], next - t);
    // Holds of bars change on bar lines, shorter ones on the half bar or the beat; where none is
    // free near enough, a weaker beat.
    const int want = gap >= 1.5 * per_bar * beat_seconds ? 2 : gap >= 1.5 * beat_seconds ? 1 : 0;
    for (int need = want; need >= 0 && chosen < 0; --need) {
      double best = std::max(gap, 2.0 * per_bar * beat_seconds);
      // The beats around t, nearest first.
      const int centre = static_cast<int>(std::lower_bound(m.beats.begin(), m.beats.end(), t) - m.beats.begin());
      for (int i = std::max(0, centre - 64); i < std::min(beats, centre + 64); ++i) {
        if (strength[i] < need || beat_rows[i] < prev + min_gap || beat_rows[i] > last_row - min_gap) continue;
        const double d = std::abs(m.beats[i] - t);
        if (d < best || (d == best && chosen >= 0 && strength[i] > strength[chosen])) best = d, chosen = i;
      }
    }
    if (chosen < 0) break;  // no beat left for this unit: the music is over
    prev = beat_rows[chosen];
    slots.push_back(Slot{prev, 0, order[k], section_of(prev), strength[chosen] == 3});
  }
  for (size_t i = 0; i < slots.size(); ++i) slots[i].end = i + 1 < slots.size() ? slots[i + 1].row : last_row;
  return slots;
}
