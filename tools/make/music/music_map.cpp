#include "tools/make/music/music_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace {

// The tracker needs about six seconds to settle; beats before that may run at twice or three
// times the tempo.
constexpr double SETTLE_SECONDS = 6.0;
constexpr double QUIET_DB = -50.0;  // below this the music has ended (or not yet begun)

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

std::vector<double> settled_beats(const std::vector<double>& beats) {
  std::vector<double> out;
  for (double b : beats)
    if (b >= SETTLE_SECONDS) out.push_back(b);
  return out.size() >= 8 ? out : beats;
}

struct GridFit {
  double period = 0, origin = 0;  // beat k at origin + k × period
  double rms = 1e9;               // residual of the beats it fits, seconds
  int fitted = 0;
};

// Least squares of the beats against whole numbers of periods, dropping beats more than a quarter
// period off the line, twice. Each beat counts by its weight (all 1 without weights): onsets count
// by how strongly they are marked, so that a kick outweighs the semiquavers around it.
GridFit fit_grid(const std::vector<double>& beats, double period, const std::vector<double>& weights = {}) {
  GridFit fit;
  if (beats.size() < 4 || period <= 0) return fit;
  auto weight = [&](size_t i) { return weights.empty() ? 1.0 : weights[i]; };
  // The period near the first guess on which the beats line up best: the length of the mean of
  // their phases as unit vectors. Trackers lock onto the off-beat for stretches (hats, an
  // arpeggio in eighths), so beats are lined up on the half-beat grid, where on- and off-beat
  // agree; which half is the beat is for the onsets to say. Stretches where the tracker stumbled
  // only weaken the line-up, where a fit through every beat would be pulled off.
  double best = -1;
  for (int step = -60; step <= 60; ++step) {
    const double p = period * (1 + step * 0.0005);
    double c = 0, s = 0;
    for (size_t i = 0; i < beats.size(); ++i) {
      const double phase = 4 * M_PI * beats[i] / p;
      c += weight(i) * std::cos(phase), s += weight(i) * std::sin(phase);
    }
    const double r = std::hypot(c, s);
    if (r > best) {
      best = r;
      fit.period = p;
      fit.origin = std::atan2(s, c) / (4 * M_PI) * p;
    }
  }
  // Then least squares on the beats within a sixth of a beat of that half-beat grid, twice.
  for (int pass = 0; pass < 2; ++pass) {
    const double h = fit.period / 2;
    double sw = 0, sk = 0, st = 0, skk = 0, skt = 0;
    int n = 0;
    for (size_t i = 0; i < beats.size(); ++i) {
      const double t = beats[i], w = weight(i);
      const double k = std::round((t - fit.origin) / h);
      if (std::abs(t - (fit.origin + k * h)) > fit.period / 6 || w <= 0) continue;
      sw += w, sk += w * k, st += w * t, skk += w * k * k, skt += w * k * t, ++n;
    }
    const double d = sw * skk - sk * sk;
    if (n < 4 || d <= 0) return GridFit{};
    const double hp = (sw * skt - sk * st) / d;
    fit.origin = (st - hp * sk) / sw;
    fit.period = 2 * hp;
  }
  double ss = 0, sw = 0;
  int n = 0;
  const double h = fit.period / 2;
  for (size_t i = 0; i < beats.size(); ++i) {
    const double t = beats[i];
    const double r = t - (fit.origin + std::round((t - fit.origin) / h) * h);
    if (std::abs(r) > fit.period / 6 || weight(i) <= 0) continue;
    ss += weight(i) * r * r, sw += weight(i), ++n;
  }
  fit.fitted = n;
  fit.rms = sw > 0 ? std::sqrt(ss / sw) : 1e9;
  return fit;
}

float at_frame(const std::vector<float>& v, const AudioAnalysis& a, double t) {
  if (v.empty() || t < 0) return 0;
  const auto i = static_cast<size_t>(t / a.frame_seconds);
  return i < v.size() ? v[i] : 0;
}

// The strongest value within ±`w` seconds of t.
float peak_near(const std::vector<float>& v, const AudioAnalysis& a, double t, double w) {
  float best = 0;
  for (double s = t - w; s <= t + w; s += a.frame_seconds) best = std::max(best, at_frame(v, a, s));
  return best;
}

float mean_db(const AudioAnalysis& a, double from, double to) {
  if (a.loudness.empty() || to <= from) return -120;
  const auto i0 = static_cast<size_t>(std::max(0.0, from) / a.frame_seconds);
  const auto i1 = std::min(a.loudness.size(), static_cast<size_t>(to / a.frame_seconds) + 1);
  // Mean of the power, not of the decibels: a bar of beats with silences between is as loud as
  // its beats.
  double power = 0;
  size_t n = 0;
  for (size_t i = i0; i < i1; ++i) power += std::pow(10.0, a.loudness[i] / 10.0), ++n;
  return n ? static_cast<float>(10 * std::log10(std::max(power / n, 1e-12))) : -120.f;
}

// How strongly a beat is marked at t: the rise of the low band (kick drums, bass notes) most, the
// overall onset strength a little; each against its own mean over the song, since their units
// differ by orders of magnitude.
struct BeatMarks {
  const AudioAnalysis& a;
  double low_mean = 1, flux_mean = 1;
  explicit BeatMarks(const AudioAnalysis& analysis) : a(analysis) {
    auto mean = [](const std::vector<float>& v) {
      double s = 0;
      for (float x : v) s += x;
      return v.empty() ? 1.0 : std::max(s / v.size(), 1e-9);
    };
    low_mean = mean(a.low_flux);
    flux_mean = mean(a.flux);
  }
  double at(double t) const {
    return peak_near(a.low_flux, a, t, 0.03) / low_mean + 0.25 * peak_near(a.flux, a, t, 0.03) / flux_mean;
  }
};

// The onsets marked at least as strongly as the median onset: the ones a listener taps to.
struct StrongOnsets {
  std::vector<double> times;
  StrongOnsets(const AudioAnalysis& a, const BeatMarks& marks) {
    std::vector<double> m;
    for (double t : a.onsets) m.push_back(marks.at(t));
    std::vector<double> sorted = m;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
    for (size_t i = 0; i < a.onsets.size(); ++i)
      if (m[i] >= median && m[i] > 0) times.push_back(a.onsets[i]);
  }
  // How many lie within 40 ms of the grid's beats (and of its half beats with `halves`).
  int caught(const GridFit& g, bool halves) const {
    if (g.period <= 0) return 0;
    const double step = halves ? g.period / 2 : g.period;
    int n = 0;
    for (double t : times) {
      const double r = t - g.origin - std::round((t - g.origin) / step) * step;
      n += std::abs(r) <= 0.04;
    }
    return n;
  }
};

// The mean mark of a grid's beats between two times, on whichever half of the grid is stronger.
double grid_score(const BeatMarks& marks, const GridFit& fit, double from, double to) {
  if (fit.period <= 0) return 0;
  double on = 0, off = 0;
  int n = 0;
  for (double t = fit.origin + std::ceil((from - fit.origin) / fit.period) * fit.period; t < to; t += fit.period, ++n) {
    on += marks.at(t);
    off += marks.at(t + fit.period / 2);
  }
  return n ? std::max(on, off) / n : 0;
}

// The grid within 3% of `period` whose beats are the most strongly marked, every period and phase
// tried (periods 0.05% apart, phases a twenty-fourth of a beat apart): where the tracker's beats
// wander and the onsets' off-beats blur a fit through them, the kicks still mark the beat.
GridFit strongest_grid(const BeatMarks& marks, double period, double from, double to) {
  GridFit best;
  double best_score = -1;
  for (int step = -60; step <= 60; ++step) {
    const double p = period * (1 + step * 0.0005);
    for (int k = 0; k < 24; ++k) {
      const GridFit g{p, from + p * k / 24, 0, 0};
      const double score = grid_score(marks, g, from, to);
      if (score > best_score) best_score = score, best = g;
    }
  }
  return best;
}

// How much the spectrum's shape changes across t: the mean mel bands over the `span` seconds after
// t against those over the `span` before. Chords change on "one"; half a bar either side hears a
// chord change rather than a note of the bass line.
double harmony_change(const AudioAnalysis& a, double t, double span) {
  const int B = AudioAnalysis::BANDS;
  const size_t frames = a.bands.size() / B;
  if (frames == 0) return 0;
  auto mean = [&](double from, double to, std::vector<double>& m) {
    m.assign(B, 0);
    const auto i0 = static_cast<size_t>(std::max(0.0, from) / a.frame_seconds);
    const auto i1 = std::min(frames, static_cast<size_t>(std::max(0.0, to) / a.frame_seconds));
    if (i1 <= i0) return false;
    for (size_t i = i0; i < i1; ++i)
      for (int k = 0; k < B; ++k) m[k] += a.bands[i * B + k];
    for (double& v : m) v /= static_cast<double>(i1 - i0);
    return true;
  };
  std::vector<double> before, after;
  if (!mean(t - span, t, before) || !mean(t, t + span, after)) return 0;
  // The change of the spectrum's shape, not of its level: a pad swelling within a bar changes
  // every band alike, a new chord some more than others.
  double level = 0;
  for (int k = 0; k < B; ++k) level += after[k] - before[k];
  level /= B;
  double d = 0;
  for (int k = 0; k < B; ++k) d += std::abs(after[k] - before[k] - level);
  return d / B;
}

int onsets_between(const AudioAnalysis& a, double from, double to) {
  return static_cast<int>(std::lower_bound(a.onsets.begin(), a.onsets.end(), to) -
                          std::lower_bound(a.onsets.begin(), a.onsets.end(), from));
}

// The tracker keeps a beat when most gaps are within 10% of a whole number of beats near the
// tempo: its beats then follow a tempo that moves, where one straight grid cannot.
bool follows_tracker(const std::vector<double>& beats, double period) {
  if (beats.size() < 16) return false;
  int good = 0;
  for (size_t i = 1; i < beats.size(); ++i) {
    const double g = (beats[i] - beats[i - 1]) / period;
    const double whole = std::max(1.0, std::round(g));
    if (std::abs(g - whole) < 0.1 * whole && whole <= 2) ++good;
  }
  return good >= static_cast<int>((beats.size() - 1) * 0.85);
}

}  // namespace

int row_of(double seconds) { return static_cast<int>(std::lround(seconds * 20.0)); }

double median_tempo(const std::vector<double>& beats) {
  const std::vector<double> b = settled_beats(beats);
  if (b.size() < 4) return 0;
  std::vector<double> gaps;
  for (size_t i = 1; i < b.size(); ++i) gaps.push_back(b[i] - b[i - 1]);
  const double g = median(gaps);
  return g > 0 ? 60.0 / g : 0;
}

MusicMap map_music(const AudioAnalysis& a, int beats_per_bar, double fallback_bpm, bool forced_bpm) {
  MusicMap m;
  m.beats_per_bar = beats_per_bar;
  const double duration = std::max(a.duration, 0.0);
  const BeatMarks marks(a);
  const StrongOnsets strong(a, marks);

  // Where the sound begins and ends.
  m.sound_start = 0;
  for (size_t i = 0; i < a.loudness.size(); ++i)
    if (a.loudness[i] > QUIET_DB) {
      m.sound_start = static_cast<double>(i) * a.frame_seconds;
      break;
    }
  m.end = duration;
  for (size_t i = a.loudness.size(); i-- > 0;)
    if (a.loudness[i] > QUIET_DB) {
      m.end = std::min(duration, static_cast<double>(i + 1) * a.frame_seconds + 0.5);
      break;
    }
  if (m.end <= m.sound_start) m.end = duration;

  // The tempo: the tracker's, unless the user gave one or the beats do not make one grid.
  const std::vector<double> beats = settled_beats(a.beats);
  std::vector<double> tracked;
  double period = 0, tempo = 0;
  GridFit fit;
  if (forced_bpm && fallback_bpm > 0) {
    // The user's tempo stands; the phase comes from the onsets, as without it: the mean of their
    // phases on the half-beat circle, each weighted by how strongly it is marked (the tracker's
    // beats would not do: they follow the tempo the tracker heard, not the one given). Which half
    // is the beat is decided below, as for a tempo found.
    period = 60.0 / fallback_bpm;
    double c = 0, s = 0;
    for (double t : a.onsets) {
      const double w = marks.at(t), phase = 4 * M_PI * t / period;
      c += w * std::cos(phase), s += w * std::sin(phase);
    }
    fit = GridFit{period, c == 0 && s == 0 ? m.sound_start : std::atan2(s, c) / (4 * M_PI) * period, 0, 0};
  } else {
    tempo = median_tempo(a.beats);
    if (tempo > 0) fit = fit_grid(beats, 60.0 / tempo);
    // Beats that agree: most of them on one grid, within a few hundredths of a second (the
    // tracker's beats sit on its hops of 11.6 ms and wander by two or three of them), or within
    // 6% of a beat in slow songs, whose long beats the tracker places more loosely.
    bool clear = fit.fitted >= 8 && fit.fitted >= static_cast<int>(beats.size() * 0.6) &&
                 fit.rms < std::max(0.045, 0.06 * fit.period);
    // Fast songs can lock the tracker at two thirds of their tempo, slow ones at three halves, and
    // its beats then fall between the music's every other time. A grid at the other tempo, fitted
    // to the onsets, wins when it lands on stronger onsets and catches clearly more of the strong
    // ones on its beats: a grid at three halves of the tempo lands on many a quaver and
    // semiquaver of busy music, and scores well for it, while the beats fall between its own.
    // (Octave errors are left alone: a photo held for two beats instead of one costs little.)
    if (tempo > 0) {
      std::vector<double> onsets, strengths;
      for (double t : a.onsets)
        if (t >= SETTLE_SECONDS) onsets.push_back(t), strengths.push_back(marks.at(t));
      double base = grid_score(marks, fit, m.sound_start, m.end);
      // The tempo found is fitted to the onsets too, as the other tempi are: the grid through the
      // tracker's beats can be a few tenths of a percent off, which over a three-minute song
      // slides it a beat or more off the music, and a rival fitted to the onsets would then win
      // for being the only grid in step, at whatever tempo. A tracker that stumbled for a while
      // can be off by two or three percent. The one in step is the better grid; where the
      // tracker's beats made none, it is clear when most strong onsets fall on it.
      const GridFit refit = fit_grid(onsets, fit.period, strengths);
      if (refit.fitted >= 8 && std::abs(refit.period / fit.period - 1) < 0.031) {
        const double s = grid_score(marks, refit, m.sound_start, m.end);
        if (s > base) {
          base = s;
          fit = refit;
          tempo = 60.0 / refit.period;
          clear = clear || strong.caught(refit, true) >= 0.8 * strong.times.size();
        }
      }
      if (!clear) {
        const GridFit marked = strongest_grid(marks, fit.period, m.sound_start, m.end);
        const double s = grid_score(marks, marked, m.sound_start, m.end);
        // A beat where its marks stand out: twice those a quarter of a beat away.
        const double between = grid_score(marks, GridFit{marked.period, marked.origin + marked.period / 4, 0, 0},
                                          m.sound_start, m.end);
        if (s > base && s >= 2 * between) {
          base = s;
          fit = marked;
          tempo = 60.0 / marked.period;
          clear = true;
        }
      }
      const int caught = strong.caught(fit, false);
      for (double factor : {1.5, 2.0 / 3.0}) {
        const GridFit other = fit_grid(onsets, 60.0 / (tempo * factor), strengths);
        if (other.fitted < 8 || 60.0 / other.period < 40 || 60.0 / other.period > 240) continue;
        const double score = grid_score(marks, other, m.sound_start, m.end);
        if (score > base && strong.caught(other, false) >= 1.25 * caught + 4) {
          fit = other;
          tempo = 60.0 / other.period;
          clear = true;
          break;
        }
      }
    }
    if (!clear && tempo > 0 && follows_tracker(beats, 60.0 / tempo)) {
      // A tempo that moves (a live band, a change of tempo): the tracker's own beats are the grid.
      tracked = beats;
    } else if (!clear) {
      const double bpm = fallback_bpm > 0 ? fallback_bpm : 120.0;
      char note[160];
      std::snprintf(note, sizeof note, "no clear beat in the music: a steady %g beats a minute assumed%s", bpm,
                    fallback_bpm > 0 ? "" : " (give the tempo with --bpm)");
      m.note = note;
      m.steady = false;
      fit = GridFit{60.0 / bpm, m.sound_start, 0, 0};
    }
  }
  period = tracked.empty() ? fit.period : 60.0 / tempo;
  m.bpm = 60.0 / period;

  // The grid found above may sit on the off-beat: the half with the stronger onsets, low band
  // (kick drums) first, is the beat.
  double origin = fit.origin;
  if (m.steady && tracked.empty() && (!a.flux.empty() || !a.low_flux.empty())) {
    double on = 0, off = 0;
    for (double t = origin - std::floor((origin - m.sound_start) / period) * period; t < m.end; t += period) {
      on += marks.at(t);
      off += marks.at(t + period / 2);
    }
    if (off > on) origin += period / 2;
  }

  // How sure: the share of the strong onsets on the grid's beats and half beats.
  if (!strong.times.empty()) {
    m.confidence = tracked.empty() ? static_cast<double>(strong.caught(GridFit{period, origin, 0, 0}, true)) / strong.times.size()
                                   : 0.0;
    if (!tracked.empty()) {
      int n = 0;
      for (double t : strong.times) {
        const auto it = std::lower_bound(beats.begin(), beats.end(), t);
        const double d = std::min(it == beats.end() ? 1e9 : *it - t, it == beats.begin() ? 1e9 : t - *std::prev(it));
        n += d <= 0.04;
      }
      m.confidence = static_cast<double>(n) / strong.times.size();
    }
  }
  if (!m.steady) m.confidence = 0;

  // The grid from the first beat at or after 0 to the end of the song.
  if (!tracked.empty()) {
    // The tracker's beats, extended at both ends with the median tempo and with missed beats
    // filled in.
    for (double t = tracked.front() - period; t >= 0; t -= period) m.beats.insert(m.beats.begin(), t);
    for (size_t i = 0; i < tracked.size(); ++i) {
      if (i > 0) {
        const double gap = tracked[i] - tracked[i - 1];
        const int missing = static_cast<int>(std::round(gap / period)) - 1;
        for (int k = 1; k <= missing; ++k) m.beats.push_back(tracked[i - 1] + gap * k / (missing + 1));
      }
      m.beats.push_back(tracked[i]);
    }
    for (double t = tracked.back() + period; t < duration + 1e-9; t += period) m.beats.push_back(t);
    // The tempo over the whole grid: the tracker's gaps are whole hops, so their median is off by
    // a few percent.
    m.bpm = 60.0 * static_cast<double>(tracked.size() - 1) / (tracked.back() - tracked.front());
    for (size_t i = 1; i < tracked.size(); ++i) {
      const int missing = static_cast<int>(std::round((tracked[i] - tracked[i - 1]) / period)) - 1;
      if (missing > 0) m.bpm += 60.0 * missing / (tracked.back() - tracked.front());
    }
  } else {
    double first = origin - std::floor(origin / period) * period;
    // A beat a hair before the start (the encoder's rounding) is the beat at 0.
    if (first - period > -0.03) first -= period;
    for (double t = first; t < duration + 1e-9; t += period) m.beats.push_back(std::max(t, 0.0));
  }
  if (m.beats.empty()) m.beats.push_back(0);

  // Bar one: of the beats_per_bar phases, the one whose beats carry the most low-band and overall
  // onset energy (kick drums) and the most change of harmony (chords change on "one").
  int phase = 0;
  if (m.steady && (!a.low_flux.empty() || !a.flux.empty())) {
    std::vector<double> marks_score(beats_per_bar, 0), change_score(beats_per_bar, 0);
    for (size_t i = 0; i < m.beats.size(); ++i) {
      const double t = m.beats[i];
      if (t < m.sound_start - 0.05) continue;
      marks_score[i % beats_per_bar] += marks.at(t);
      change_score[i % beats_per_bar] += harmony_change(a, t, period * std::max(1, beats_per_bar / 2));
    }
    // Each measure against its mean over the phases, so neither outweighs the other by its units.
    const double mm = std::accumulate(marks_score.begin(), marks_score.end(), 0.0) / beats_per_bar;
    const double mc = std::accumulate(change_score.begin(), change_score.end(), 0.0) / beats_per_bar;
    std::vector<double> score(beats_per_bar, 0);
    for (int p = 0; p < beats_per_bar; ++p)
      score[p] = (mm > 0 ? marks_score[p] / mm : 0) + (mc > 0 ? change_score[p] / mc : 0);
    phase = static_cast<int>(std::max_element(score.begin(), score.end()) - score.begin());
  } else {
    // No beat to go by: bar one where the sound starts.
    while (phase + 1 < static_cast<int>(m.beats.size()) && m.beats[phase] < m.sound_start - period / 2) ++phase;
    phase %= beats_per_bar;
  }
  for (size_t i = phase; i < m.beats.size(); i += beats_per_bar) m.bars.push_back(static_cast<int>(i));
  if (m.bars.empty()) m.bars.push_back(0);

  // Sections: four-bar phrases graded by loudness and onset density against the song's own range,
  // then runs of one grade joined; a run shorter than eight bars joins the one before it.
  const int phrase_bars = 4;
  const int bar_count = static_cast<int>(m.bars.size());
  struct Phrase {
    int first_bar;
    float db;
    double density;
  };
  std::vector<Phrase> phrases;
  for (int b = 0; b < bar_count; b += phrase_bars) {
    const double from = m.beats[m.bars[b]];
    const int last = std::min(bar_count, b + phrase_bars);
    const double to = last < bar_count ? m.beats[m.bars[last]] : duration;
    phrases.push_back({b, mean_db(a, from, to), onsets_between(a, from, to) / std::max(to - from, 0.1)});
  }
  std::vector<float> dbs;
  std::vector<double> densities;
  for (const Phrase& p : phrases) dbs.push_back(p.db), densities.push_back(p.density);
  std::vector<double> sorted_db(dbs.begin(), dbs.end());
  std::sort(sorted_db.begin(), sorted_db.end());
  const double top_db = sorted_db.empty() ? 0 : sorted_db[(sorted_db.size() * 9) / 10 == sorted_db.size()
                                                                  ? sorted_db.size() - 1
                                                                  : (sorted_db.size() * 9) / 10];
  const double mid_density = median(densities);
  for (const Phrase& p : phrases) {
    Energy e = Energy::Mid;
    if (p.db < top_db - 8 || p.density < mid_density * 0.5) e = Energy::Quiet;
    else if (p.db >= top_db - 2.5 && p.density >= mid_density * 0.9) e = Energy::Loud;
    if (!m.sections.empty() && m.sections.back().energy == e) continue;
    m.sections.push_back({p.first_bar, e, p.db});
  }
  // Join short runs (but keep the opening one, the intro).
  for (size_t i = 1; i < m.sections.size();) {
    const int next = i + 1 < m.sections.size() ? m.sections[i + 1].first_bar : bar_count;
    // A quiet stretch between loud ones (a breakdown), or the reverse, is kept however short.
    const bool contrast = std::abs(static_cast<int>(m.sections[i].energy) - static_cast<int>(m.sections[i - 1].energy)) == 2;
    if (next - m.sections[i].first_bar < 8 && i + 1 < m.sections.size() && !contrast) {
      m.sections.erase(m.sections.begin() + i);
      if (i < m.sections.size() && m.sections[i].energy == m.sections[i - 1].energy)
        m.sections.erase(m.sections.begin() + i);
    } else {
      ++i;
    }
  }
  for (Section& s : m.sections) {
    const size_t k = static_cast<size_t>(s.first_bar / phrase_bars);
    if (k < dbs.size()) s.level_db = dbs[k];
  }
  if (m.sections.empty()) m.sections.push_back({0, Energy::Mid, 0});
  return m;
}

std::string describe_tempo(const MusicMap& m, bool given) {
  if (!m.steady) return m.note;
  const int percent = static_cast<int>(std::lround(100 * m.confidence));
  const char* how = m.confidence >= 0.6 ? "sure" : m.confidence >= 0.35 ? "fairly sure" : "unsure";
  char line[200];
  std::snprintf(line, sizeof line, "%.1f beats a minute%s, %s (%d%% of the strong onsets on its beats and half beats), bar one at %.2fs",
                m.bpm, given ? " as given" : "", how, percent, m.bars.empty() ? 0.0 : m.beats[m.bars[0]]);
  return line;
}
