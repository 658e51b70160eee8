#include "tools/make/choreography.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>

#include "tools/make/scene_geometry.h"
#include "tools/make/seeded_random.h"

namespace {

enum Interp { STEP = 0, LINEAR = 1 };

struct Key {
  float value;
  int interp;
};
using Track = std::map<int, Key>;

constexpr std::array<const char*, 10> PARAMS = {"n", "x", "y", "r", "g", "b", "scale", "rotx", "roty", "rotz"};
enum Param { N, X, Y, R, G, B, SCALE, ROTX, ROTY, ROTZ };

struct Layer {
  std::string name;
  std::array<Track, 10> t;
};

struct Pose {
  double x = 0, y = 0, f = 1, rotz = 0;
};

enum class Layout { Hero, Duo, Framed, Iris, Cameo };

const char* energy_name(Energy e) { return e == Energy::Quiet ? "quiet" : e == Energy::Loud ? "loud" : "mid"; }
const char* layout_name(Layout l) {
  switch (l) {
    case Layout::Hero: return "one photo, the layers taking turns";
    case Layout::Duo: return "two photos side by side";
    case Layout::Framed: return "photos behind a frame";
    case Layout::Iris: return "photos behind an iris";
    case Layout::Cameo: return "a photo and a cameo";
  }
  return "";
}

double round4(double v) {
  const double r = std::round(v * 10000.0) / 10000.0;
  return r == 0 ? 0.0 : r;  // no "-0"
}

void put(Track& t, int row, double v, int interp) { t[row] = Key{static_cast<float>(round4(v)), interp}; }

std::string format_value(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4f", static_cast<double>(v));
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

// One span of a layer: from `row` to `end` it shows `entry` moving from pose a to pose b.
struct Span {
  int row = 0, end = 0;
  int entry = -1;  // -1: hidden
  Pose a, b;
};

struct Cut {
  int row = 0, end = 0;
  int section = 0;
  bool section_start = false;
};

struct Motion {
  double zoom_per_second, pan_per_second;
};

class Maker {
 public:
  explicit Maker(const ChoreographyInput& in) : in_(in), m_(in.music), random_(in.seed) {
    layers_[0].name = "back";
    layers_[1].name = "beard";
    motion_ = in.style == ShowStyle::Calm ? Motion{0.02, 0.03} : Motion{0.035, 0.06};
    // Sections of 16 bars and more change layout every 8 bars: after ten seconds or so one picture
    // pattern has been seen.
    std::vector<Section> split;
    for (size_t i = 0; i < m_.sections.size(); ++i) {
      const int end = i + 1 < m_.sections.size() ? m_.sections[i + 1].first_bar : static_cast<int>(m_.bars.size());
      Section s = m_.sections[i];
      split.push_back(s);
      if (end - s.first_bar >= 16)
        for (int b = s.first_bar + 8; b + 8 <= end; b += 8) split.push_back(Section{b, s.energy, s.level_db});
    }
    m_.sections = split;
    photos_ = in.plan.show_entries;
    if (photos_.empty()) photos_.push_back(0);
  }

  Choreography run();

 private:
  int bar_row(int bar) const { return row_of(m_.beats[m_.bars[bar]]); }
  int hold_bars(Energy e) const;
  std::vector<Cut> plan_cuts();
  Layout choose_layout(Energy e, int nth);
  int next_photo() { return photos_[photo_counter_++ % photos_.size()]; }
  Pose moved(Pose a, double seconds, double pan_limit, double speed, bool zoom_in, int direction) const;
  void show(int layer, int row, int end, int entry, Pose a, Pose b, bool visible_change);
  void hide(int layer, int row, int end);
  void emit_span(int layer, const Span& s);
  std::string format(const std::vector<std::pair<int, std::string>>& comments) const;

  const ChoreographyInput& in_;
  MusicMap m_;  // its long sections split into phrases, each with a layout of its own
  SeededRandom random_;
  Motion motion_{};
  std::array<Layer, 2> layers_;
  Track happy_, sad_;
  std::vector<int> photos_;
  size_t photo_counter_ = 0;
  int moves_ = 0;
  std::vector<PhotoChange> changes_;
  std::array<std::vector<Span>, 2> spans_;
  int leave_len_ = 40, leave_row_ = 8;  // the layers leave from leave_row_ on
};

int Maker::hold_bars(Energy e) const {
  // Seconds a photo stays by energy, then the nearest of 1, 2 or 4 bars: fast songs cut by the bar,
  // slow ones hold longer.
  const bool calm = in_.style == ShowStyle::Calm;
  const double seconds = e == Energy::Quiet ? (calm ? 9.0 : 5.0) : e == Energy::Mid ? (calm ? 6.0 : 3.0) : (calm ? 4.0 : 1.6);
  const double bar_seconds = m_.beats_per_bar * 60.0 / m_.bpm;
  int best = 1;
  for (int h : {1, 2, 4})
    if (std::abs(std::log(h * bar_seconds / seconds)) < std::abs(std::log(best * bar_seconds / seconds))) best = h;
  return best;
}

Layout Maker::choose_layout(Energy e, int nth) {
  static constexpr Layout QUIET[] = {Layout::Hero, Layout::Framed, Layout::Iris};
  static constexpr Layout MID[] = {Layout::Duo, Layout::Cameo};
  static constexpr Layout LOUD[] = {Layout::Hero, Layout::Duo};
  const int shift = static_cast<int>(in_.seed % 6);
  switch (e) {
    case Energy::Quiet: return QUIET[(nth + shift) % 3];
    case Energy::Mid: return MID[(nth + shift) % 2];
    case Energy::Loud: return LOUD[(nth + shift) % 2];
  }
  return Layout::Hero;
}

Pose Maker::moved(Pose a, double seconds, double pan_limit, double speed, bool zoom_in, int direction) const {
  // A Ken Burns move: zoom by a few percent a second, at most 10%; pan along one of eight
  // directions, slowly, never more than `pan_limit`.
  const double ratio = 1 + std::min(0.10, motion_.zoom_per_second * seconds);
  Pose b = a;
  if (zoom_in) {
    b.f = a.f * ratio;
  } else {
    b.f = a.f;
    a.f = a.f * ratio;
  }
  static constexpr double DX[] = {1, 0.7071, 0, -0.7071, -1, -0.7071, 0, 0.7071};
  static constexpr double DY[] = {0, 0.7071, 1, 0.7071, 0, -0.7071, -1, -0.7071};
  const double pan = std::min(pan_limit, speed * motion_.pan_per_second * seconds);
  b.x = a.x + DX[direction & 7] * pan;
  b.y = a.y + DY[direction & 7] * pan * 0.5;
  (void)a;
  return b;
}

std::vector<Cut> Maker::plan_cuts() {
  std::vector<Cut> cuts;
  const int end_row = row_of(m_.end);
  const int bar_rows = std::max(1, row_of(m_.beats_per_bar * 60.0 / m_.bpm));
  leave_len_ = std::clamp(2 * bar_rows, 30, 80);
  leave_row_ = std::max(end_row - leave_len_, 8);
  const int bars = static_cast<int>(m_.bars.size());
  for (size_t s = 0; s < m_.sections.size(); ++s) {
    const int first = m_.sections[s].first_bar;
    const int last = s + 1 < m_.sections.size() ? m_.sections[s + 1].first_bar : bars;
    const int hold = hold_bars(m_.sections[s].energy);
    for (int b = first; b < last; b += hold) {
      const int row = bar_row(b);
      if (row + 8 > leave_row_) break;
      if (cuts.empty()) {
        // The first photo from the very start; bar one, when it comes within a few rows, is its bar.
        cuts.push_back(Cut{0, 0, static_cast<int>(s), true});
        if (row < 8) continue;
      }
      if (row < cuts.back().row + 8) continue;  // a hold of under 8 rows is a flicker
      cuts.push_back(Cut{row, 0, static_cast<int>(s), b == first});
    }
  }
  if (cuts.empty()) cuts.push_back(Cut{0, 0, 0, true});
  for (size_t i = 0; i < cuts.size(); ++i) cuts[i].end = i + 1 < cuts.size() ? cuts[i + 1].row : leave_row_;
  return cuts;
}

void Maker::emit_span(int layer, const Span& s) {
  Layer& L = layers_[layer];
  if (s.entry < 0) {
    put(L.t[SCALE], s.row, -1, STEP);  // scale −1: the layer shrinks to nothing
    put(L.t[X], s.row, 0, STEP);
    put(L.t[Y], s.row, 0, STEP);
    put(L.t[ROTZ], s.row, 0, STEP);
    return;
  }
  put(L.t[N], s.row, s.entry, STEP);
  put(L.t[X], s.row, s.a.x, LINEAR);
  put(L.t[Y], s.row, s.a.y, LINEAR);
  put(L.t[SCALE], s.row, s.a.f - 1, LINEAR);
  put(L.t[ROTZ], s.row, s.a.rotz, LINEAR);
  const int last = s.end - 1;
  if (last > s.row) {
    put(L.t[X], last, s.b.x, STEP);
    put(L.t[Y], last, s.b.y, STEP);
    put(L.t[SCALE], last, s.b.f - 1, STEP);
    put(L.t[ROTZ], last, s.b.rotz, STEP);
  }
}

void Maker::show(int layer, int row, int end, int entry, Pose a, Pose b, bool visible_change) {
  spans_[layer].push_back(Span{row, end, entry, a, b});
  if (visible_change) changes_.push_back(PhotoChange{row, layers_[layer].name, entry});
}

void Maker::hide(int layer, int row, int end) { spans_[layer].push_back(Span{row, end, -1, {}, {}}); }

Choreography Maker::run() {
  const std::vector<Cut> cuts = plan_cuts();
  const int end_row = std::max(row_of(m_.end), leave_row_ + 8);
  const int bar_rows = std::max(1, row_of(m_.beats_per_bar * 60.0 / m_.bpm));
  const int fade_end = std::min(std::max(20, (m_.bars.empty() ? 0 : bar_row(0)) + bar_rows), leave_row_);

  // Where each section's cuts end: the next section's first cut, or the leaving.
  std::vector<std::pair<int, std::string>> comments;
  std::array<int, 3> nth = {0, 0, 0};
  int hero_turn = 0;
  size_t i = 0;
  while (i < cuts.size()) {
    const int section = cuts[i].section;
    size_t j = i;
    while (j < cuts.size() && cuts[j].section == section) ++j;
    const int section_end = j < cuts.size() ? cuts[j].row : leave_row_;
    const Section& sec = m_.sections[section];
    const Layout layout = choose_layout(sec.energy, nth[static_cast<int>(sec.energy)]++);
    {
      char c[160];
      const int bar = sec.first_bar;
      std::snprintf(c, sizeof c, "bar %d (%.1fs): %s, %s", bar + 1, cuts[i].row / 20.0, energy_name(sec.energy),
                    layout_name(layout));
      comments.push_back({cuts[i].row, c});
    }
    const int start_direction = random_.below(8);
    for (size_t k = i; k < j; ++k) {
      const Cut& cut = cuts[k];
      const int n = static_cast<int>(k - i);
      const double seconds = (cut.end - cut.row) / 20.0;
      const bool zoom_in = (moves_ + random_.below(2)) % 2 == 0;
      const int dir = start_direction + 3 * moves_++;
      const bool first = k == i;
      // The end of a layer's span when it keeps its photo over several cuts.
      auto end_after = [&](size_t cuts_ahead) { return k + cuts_ahead < j ? cuts[k + cuts_ahead].row : section_end; };
      switch (layout) {
        case Layout::Hero: {
          const int on = (hero_turn++ % 2) == 0 ? 1 : 0;
          Pose a{0, 0, 1.42, 0};
          show(on, cut.row, cut.end, next_photo(), a, moved(a, seconds, 0.15, 1.0, zoom_in, dir), true);
          hide(1 - on, cut.row, cut.end);
          break;
        }
        case Layout::Duo: {
          // Both layers side by side; each cut renews one of them, left and right in turn.
          if (first) {
            Pose left{-1.45, 0, 1.22, 0}, right{1.45, 0, 1.22, 0};
            show(0, cut.row, end_after(1), next_photo(), left, moved(left, (end_after(1) - cut.row) / 20.0, 0.1, 0.5, !zoom_in, dir + 4), true);
            show(1, cut.row, end_after(2), next_photo(), right, moved(right, (end_after(2) - cut.row) / 20.0, 0.12, 1.0, zoom_in, dir), true);
          } else {
            const int layer = n % 2 == 1 ? 0 : 1;
            Pose p{layer == 0 ? -1.45 : 1.45, 0, 1.22, 0};
            const int end = end_after(2);
            show(layer, cut.row, end, next_photo(), p,
                 moved(p, (end - cut.row) / 20.0, layer == 0 ? 0.06 : 0.12, layer == 0 ? 0.5 : 1.0, zoom_in, dir), true);
          }
          break;
        }
        case Layout::Framed:
        case Layout::Iris: {
          // The cut-out stays in front; photos change behind its window, kept large enough to fill it.
          const std::vector<int>& cutouts = layout == Layout::Framed ? in_.plan.frame_entries : in_.plan.iris_entries;
          if (first) {
            Pose f{0, 0, 1.5, 0};
            Pose g = f;
            g.f = 1.52;
            show(1, cut.row, section_end, cutouts.empty() ? next_photo() : cutouts[0], f, g, true);
          }
          Pose a{0, 0, 1.12, 0};
          show(0, cut.row, cut.end, next_photo(), a, moved(a, seconds, 0.03, 0.3, zoom_in, dir), true);
          break;
        }
        case Layout::Cameo: {
          Pose a{-0.55, 0, 1.38, 0};
          show(0, cut.row, cut.end, next_photo(), a, moved(a, seconds, 0.06, 0.5, zoom_in, dir), true);
          if (n % 2 == 0) {
            const std::vector<int>& cameos = in_.plan.cameo_entries;
            const int entry = cameos.empty() ? next_photo() : cameos[(n / 2 + nth[1]) % cameos.size()];
            const double sway = (n / 2) % 2 == 0 ? 3 : -3;
            Pose c{1.95, -0.6, 0.75, -sway}, d{1.95, -0.55, 0.78, sway};
            show(1, cut.row, end_after(2), entry, c, d, true);
          }
          break;
        }
      }
    }

    // Turns at section changes: the layers of the old section turn edge-on over the last rows
    // before it, and those of the new one turn in from edge-on, so the change of layout is hidden.
    const int r = cuts[i].row;
    if (i > 0 && r >= 8) {
      const int axis = random_.below(2) == 0 ? ROTY : ROTX;
      for (Layer& L : layers_) {
        put(L.t[axis], r - 4, 0, LINEAR);
        put(L.t[axis], r - 1, 90, STEP);
        put(L.t[axis], r, -90, LINEAR);
        put(L.t[axis], std::min(r + 4, section_end - 1), 0, STEP);
      }
    }

    // Colour: full in quiet and mid sections; in loud ones a little dimmed, with a pulse to full on
    // each strong beat.
    for (Layer& L : layers_)
      for (int c : {R, G, B}) put(L.t[c], r, sec.energy == Energy::Loud ? 0.8 : 1.0, STEP);
    if (sec.energy == Energy::Loud) {
      const int every = in_.style == ShowStyle::Calm ? m_.beats_per_bar : std::max(1, m_.beats_per_bar / 2);
      const int first_beat = m_.bars[sec.first_bar];
      for (size_t b = first_beat; b < m_.beats.size(); b += every) {
        const int br = row_of(m_.beats[b]);
        if (br < std::max(r, fade_end)) continue;
        if (br + 5 >= section_end) break;
        for (Layer& L : layers_)
          for (int c : {R, G, B}) {
            put(L.t[c], br, 1.0, LINEAR);
            put(L.t[c], br + 5, 0.8, STEP);
          }
      }
    }
    // The backdrop behind quiet passages.
    put(happy_, std::max(r, fade_end), sec.energy == Energy::Quiet ? 1 : 0, STEP);
    i = j;
  }

  for (int layer = 0; layer < 2; ++layer)
    for (const Span& s : spans_[layer]) emit_span(layer, s);

  // The start: every track has a key on row 0, everything at rest, black, fading in.
  for (Layer& L : layers_) {
    for (Track& t : L.t)
      if (t.empty()) put(t, 0, 0, STEP);
      else if (t.begin()->first > 0) put(t, 0, t.begin()->second.value, STEP);
    for (int p : {ROTX, ROTY}) {
      if (L.t[p].empty() || L.t[p].begin()->first > 0) put(L.t[p], 0, 0, STEP);
    }
    const Key first_colour = L.t[R].count(0) ? L.t[R][0] : Key{1, STEP};
    for (int c : {R, G, B}) {
      const float target = L.t[c].count(fade_end) ? L.t[c][fade_end].value : first_colour.value;
      put(L.t[c], 0, 0, LINEAR);
      for (auto it = L.t[c].begin(); it != L.t[c].end();)
        it = (it->first > 0 && it->first < fade_end) ? L.t[c].erase(it) : std::next(it);
      put(L.t[c], fade_end, target, STEP);
    }
  }
  put(happy_, 0, 0, STEP);

  // The end: the layers shrink away and darken, the backdrop goes, and "happy" 2 ends the show
  // where the music has ended.
  const int gone = std::max(leave_row_ + 4, end_row - 4);
  for (Layer& L : layers_) {
    for (int p = 0; p < 10; ++p) {
      Track& t = L.t[p];
      for (auto it = t.lower_bound(leave_row_); it != t.end();) it = t.erase(it);
    }
    // The scale it has at the leaving row, from the last span, then down to nothing.
    const Track& sc = L.t[SCALE];
    const double from = sc.empty() ? -1 : std::prev(sc.end())->second.value;
    put(L.t[SCALE], leave_row_, from, LINEAR);
    put(L.t[SCALE], gone, -1, STEP);
    const double colour = std::prev(L.t[R].end())->second.value;
    for (int c : {R, G, B}) {
      put(L.t[c], leave_row_, colour, LINEAR);
      put(L.t[c], gone, 0, STEP);
    }
  }
  for (auto it = happy_.lower_bound(leave_row_); it != happy_.end();) it = happy_.erase(it);
  put(happy_, leave_row_, 0, STEP);
  put(happy_, end_row, 2, STEP);
  comments.push_back({leave_row_, "the layers leave; the music ends at row " + std::to_string(end_row)});
  put(sad_, 0, 0, STEP);

  Choreography out;
  out.text = format(comments);
  std::sort(changes_.begin(), changes_.end(), [](const PhotoChange& a, const PhotoChange& b) {
    return a.row != b.row ? a.row < b.row : a.layer < b.layer;
  });
  for (const PhotoChange& c : changes_)
    if (c.row < leave_row_) out.changes.push_back(c);
  return out;
}

std::string Maker::format(const std::vector<std::pair<int, std::string>>& comments) const {
  std::string s;
  char line[256];
  s += "# Made by hallshow-make from \"" + in_.song_name + "\". Edit freely: hallshow-studio shows every save.\n";
  std::snprintf(line, sizeof line, "# %.2f beats a minute, %d to a bar (bar one at %.2fs), %zu sections; "
                "%s style, seed %llu.\n", m_.bpm, m_.beats_per_bar,
                m_.beats.empty() || m_.bars.empty() ? 0.0 : m_.beats[m_.bars[0]], m_.sections.size(),
                in_.style == ShowStyle::Calm ? "calm" : "lively", static_cast<unsigned long long>(in_.seed));
  s += line;
  if (!m_.note.empty()) s += "# " + m_.note + "\n";
  s += "# Keys: ROW VALUE INTERPOLATION, 20 rows a second; photo changes sit on the rows of bar lines.\n"
       "# n is a photo's number in hall.photo/ (photos.txt says which); scale 0 is 2 x 2 units, the\n"
       "# screen spans about +-2.95 across and +-1.66 up; colours multiply the photo.\n\n";
  std::snprintf(line, sizeof line, "bpm %.3f\nbeats %d\n", m_.bpm, m_.beats_per_bar);
  s += line;

  auto track_text = [&](const std::string& name, const Track& t, const char* what) {
    s += "\n" + name;
    if (what) s += "    # " + std::string(what);
    s += "\n";
    size_t c = 0;
    for (const auto& [row, key] : t) {
      while (c < comments.size() && comments[c].first <= row) {
        s += "  # " + comments[c].second + "\n";
        ++c;
      }
      std::snprintf(line, sizeof line, "  %-7d %-9s %s\n", row, format_value(key.value).c_str(),
                    key.interp == STEP ? "step" : "linear");
      s += line;
    }
  };
  track_text("happy", happy_, "1 shows the backdrop (photo 17), 2 ends the show");
  track_text("sad", sad_, "drives nothing");
  for (const Layer& L : layers_) {
    s += "\n# ---- the " + L.name + " layer " + std::string(L.name == "back" ? "(behind)" : "(in front)") + "\n";
    for (int p = 0; p < 10; ++p) track_text(L.name + "." + PARAMS[p], L.t[p], nullptr);
  }
  return s;
}

}  // namespace

int row_of(double seconds) { return static_cast<int>(std::lround(seconds * 20.0)); }

Choreography make_choreography(const ChoreographyInput& in) { return Maker(in).run(); }
