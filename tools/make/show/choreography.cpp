#include "tools/make/show/choreography.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <set>

#include "tools/make/music/beat_times.h"
#include "tools/make/show/cut_plan.h"
#include "tools/make/show/photo_units.h"
#include "tools/make/show/scene_geometry.h"
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
constexpr int BACK = 0, BEARD = 1;
constexpr const char* LAYER_NAMES[2] = {"back", "beard"};

// Seconds before the end the music fades over, and the fade in, at most.
constexpr double FADE_SECONDS_MAX = 3.0;
// How much a layer swells on a strong beat.
constexpr double PULSE = 1.035;


// Where a layer is and how large: its centre, scale factor and turns.
struct Pose {
  double x = 0, y = 0, f = 1, rotz = 0, roty = 0;
};

Pose mix(const Pose& a, const Pose& b, double t) {
  auto m = [t](double u, double v) { return u + (v - u) * t; };
  return {m(a.x, b.x), m(a.y, b.y), m(a.f, b.f), m(a.rotz, b.rotz), m(a.roty, b.roty)};
}

struct PoseKey {
  int row;
  Pose pose;
  int interp;  // to the next key
};

// A layer showing one entry from its first key's row until `end` (exclusive), then hidden unless
// another segment of the layer begins there.
struct Segment {
  int entry = 0;
  int end = 0;
  std::vector<PoseKey> keys;  // in row order; the last holds until `end`
  bool photo = true;          // an open photo (false: one of the catalogue's accents, a card)
  bool card = false;          // a card: steady, never swelling on a beat
  std::vector<std::pair<int, int>> fades;  // rows where n steps to another entry (a card fading)
  int start() const { return keys.front().row; }
  Pose at(int row) const {
    if (row <= keys.front().row) return keys.front().pose;
    for (size_t i = 0; i + 1 < keys.size(); ++i)
      if (row < keys[i + 1].row) {
        if (keys[i].interp == STEP) return keys[i].pose;
        return mix(keys[i].pose, keys[i + 1].pose,
                   static_cast<double>(row - keys[i].row) / (keys[i + 1].row - keys[i].row));
      }
    return keys.back().pose;
  }
  // A key at `row` on the segment's own path, unless one is there.
  void split(int row) {
    for (const PoseKey& k : keys)
      if (k.row == row) return;
    const Pose p = at(row);
    auto it = std::lower_bound(keys.begin(), keys.end(), row, [](const PoseKey& k, int r) { return k.row < r; });
    const int interp = it == keys.begin() ? LINEAR : std::prev(it)->interp;
    keys.insert(it, PoseKey{row, p, interp});
  }
  // Keys between `from` and `to` (both kept within the segment) and none in between.
  bool free_between(int from, int to) const {
    for (const PoseKey& k : keys)
      if (k.row > from && k.row < to) return false;
    return from > keys.front().row && to < end && keys.back().row >= to;
  }
};

const char* energy_name(Energy e) { return e == Energy::Quiet ? "quiet" : e == Energy::Loud ? "loud" : "mid"; }

double round4(double v) {
  const double r = std::round(v * 10000.0) / 10000.0;
  return r == 0 ? 0.0 : r;  // no "-0"
}

std::string format_value(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4f", static_cast<double>(v));
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

struct Motion {
  double zoom_per_second, pan_per_second;
};

enum class Entrance { Cut, Slide, Flip, Iris };

class Maker {
 public:
  explicit Maker(const ChoreographyInput& in) : in_(in), m_(in.music), random_(in.seed) {
    motion_ = in.style == ShowStyle::Calm ? Motion{0.02, 0.15} : Motion{0.03, 0.3};
    std::vector<double> aspects;
    std::vector<bool> fill, alone;
    for (const ShowPhoto& p : in.photos) {
      const double a = std::clamp(p.aspect, 0.05, 20.0);
      aspects.push_back(a);
      // Filling the screen takes its cover size, zoomed in and swelling on a beat.
      fill.push_back(p.largest <= 0 || p.largest >= cover_factor(a) * 1.01 * 1.12 * PULSE);
      alone.push_back(p.largest > 0 && p.largest < SMALL_PHOTO_FACTOR);
    }
    std::vector<bool> lone;
    if (!in.cards.empty()) lone.assign(in.photos.size(), false);
    for (const ShowCard& c : in.cards)
      if (c.photo >= 0 && c.photo < static_cast<int>(lone.size())) lone[c.photo] = true;
    units_ = group_photos(aspects, fill, alone, lone);
    for (size_t u = 0; u < units_.size(); ++u)
      for (size_t c = 0; c < in.cards.size(); ++c)
        if (in.cards[c].photo == units_[u].first) card_of_unit_[static_cast<int>(u)] = static_cast<int>(c);
  }

  Choreography run();

 private:
  // A bar and a beat of the song playing at `seconds`.
  int bar_rows(double seconds) const { return std::max(1, row_of(m_.beats_per_bar * 60.0 / m_.bpm_at(seconds))); }
  int beat_rows(double seconds) const { return std::max(1, row_of(60.0 / m_.bpm_at(seconds))); }
  double aspect(int photo) const { return std::clamp(in_.photos[photo].aspect, 0.05, 20.0); }
  // The factor a photo is shown at, no larger than it may be (leaving room to swell on a beat).
  double capped(int photo, double f) const {
    const double largest = in_.photos[photo].largest;
    return largest > 0 ? std::min(f, largest / PULSE) : f;
  }
  int entry(int photo) const { return in_.photos[photo].entry; }
  Segment& add(int layer, int entry, std::vector<PoseKey> keys, int end, bool photo = true);
  Segment fill_segment(int photo, int row, int end);
  void place_unit(const Slot& slot, const Slot* next, int nth, bool carded);
  void place_card(const ShowCard& card, const Slot& slot);
  void add_pulses();
  void emit_layer(int layer);
  std::string format(const std::vector<std::pair<int, std::string>>& sections) const;

  const ChoreographyInput& in_;
  const MusicMap& m_;
  SeededRandom random_;
  Motion motion_{};
  std::vector<PhotoUnit> units_;
  std::vector<Slot> slots_;
  std::array<std::vector<Segment>, 2> segments_;
  std::array<std::array<Track, 10>, 2> tracks_;
  Track happy_, sad_;
  std::vector<PhotoChange> changes_;
  int moves_ = 0;
  int fills_ = 0, iris_turn_ = 0;
  int fill_layer_ = -1;  // the layer of the last unit when it was a landscape filling the screen alone
  std::map<int, int> card_of_unit_;  // the card shown over a unit's first showing
  std::vector<int> cards_shown_;
};

Segment& Maker::add(int layer, int entry, std::vector<PoseKey> keys, int end, bool photo) {
  std::vector<Segment>& list = segments_[layer];
  // A segment ends where the next on its layer begins.
  if (!list.empty() && list.back().end > keys.front().row) list.back().end = keys.front().row;
  list.push_back(Segment{entry, end, std::move(keys), photo, false, {}});
  return list.back();
}

// A landscape covering the screen for the whole hold: a zoom of a few percent, in or out, and a pan
// in one of eight directions, never so far that an edge of the photo comes into view.
Segment Maker::fill_segment(int photo, int row, int end) {
  const double a = aspect(photo);
  const double seconds = std::max(0.05, (end - 1 - row) / 20.0);
  const double cover = cover_factor(a) * 1.01;
  const double ratio = 1 + std::clamp(motion_.zoom_per_second * seconds, 0.04, 0.12);
  const bool zoom_in = (moves_ + random_.below(2)) % 2 == 0;
  const int direction = static_cast<int>((random_.below(8) + 3 * moves_++) % 8);
  static constexpr double DX[] = {1, 0.7071, 0, -0.7071, -1, -0.7071, 0, 0.7071};
  static constexpr double DY[] = {0, 0.7071, 1, 0.7071, 0, -0.7071, -1, -0.7071};
  const double small = cover, big = cover * ratio;
  // Room to move at each end: how far the photo reaches past the screen's edges.
  const double sx_small = half_width(a, small) - VIEW_HALF_WIDTH, sy_small = half_height(a, small) - VIEW_HALF_HEIGHT;
  const double sx_big = half_width(a, big) - VIEW_HALF_WIDTH, sy_big = half_height(a, big) - VIEW_HALF_HEIGHT;
  const double pan = motion_.pan_per_second * seconds;
  auto clamp_to = [](double v, double room) { return std::clamp(v, -0.95 * room, 0.95 * room); };
  Pose ps{clamp_to(-DX[direction] * pan / 2, sx_small), clamp_to(-DY[direction] * pan / 2, sy_small), small, 0, 0};
  Pose pb{clamp_to(ps.x + DX[direction] * pan, sx_big), clamp_to(ps.y + DY[direction] * pan, sy_big), big, 0, 0};
  Segment s{entry(photo), end, {}, true, false, {}};
  s.keys.push_back({row, zoom_in ? ps : pb, LINEAR});
  if (end - 1 > row) s.keys.push_back({end - 1, zoom_in ? pb : ps, STEP});
  else s.keys.back().interp = STEP;
  return s;
}

// The keys of one unit from its beat to the next unit's.
void Maker::place_unit(const Slot& slot, const Slot* next, int nth, bool carded) {
  const PhotoUnit& u = units_[slot.unit];
  const int r = slot.row, end = slot.end;
  const Energy energy = m_.sections[slot.section].energy;
  const int previous_fill = fill_layer_;
  fill_layer_ = -1;
  auto change = [&](int row, int layer, int e) { changes_.push_back(PhotoChange{row, LAYER_NAMES[layer], e}); };
  auto layer_free_from = [&](int layer, int row) {
    return segments_[layer].empty() || segments_[layer].back().end <= row;
  };
  auto still = [&](int layer, int e, Pose a, Pose b) {
    std::vector<PoseKey> keys{{r, a, LINEAR}};
    if (end - 1 > r) keys.push_back({end - 1, b, STEP});
    else keys.back().interp = STEP;
    add(layer, e, keys, end);
    change(r, layer, e);
  };

  if (u.kind == UnitKind::Pair) {
    // Side by side at one height, as large as the screen allows, whole; each zooms by a few
    // percent, one in and the other out.
    const double a1 = aspect(u.first), a2 = aspect(u.second);
    const double gap = 0.04;
    const double height = std::min(2 * VIEW_HALF_HEIGHT * 0.97, (2 * VIEW_HALF_WIDTH * 0.985 - gap) / (a1 + a2));
    const double w1 = height * a1, w2 = height * a2, total = w1 + w2 + gap;
    const double f1 = capped(u.first, height / 2 * std::max(1.0, a1)), f2 = capped(u.second, height / 2 * std::max(1.0, a2));
    const Pose left{-total / 2 + w1 / 2, 0, f1}, right{total / 2 - w2 / 2, 0, f2};
    // Each shrinks or grows towards its own centre, so the two never overlap.
    auto smaller = [](Pose p) { return p.f *= 0.97, p; };
    const bool left_in = nth % 2 == 0;
    still(BACK, entry(u.first), left_in ? smaller(left) : left, left_in ? left : smaller(left));
    still(BEARD, entry(u.second), left_in ? right : smaller(right), left_in ? smaller(right) : right);
    return;
  }
  if (u.kind == UnitKind::Solo || u.kind == UnitKind::Band) {
    const double a = aspect(u.first);
    // At the screen's height, or across its width when it is wider than the screen.
    const double f = capped(u.first, u.kind == UnitKind::Band ? VIEW_HALF_WIDTH * 0.98 / std::min(1.0, a)
                                                              : std::min(VIEW_HALF_HEIGHT * 0.96 / std::min(1.0, 1.0 / a),
                                                                         VIEW_HALF_WIDTH * 0.9 / std::min(1.0, a)));
    Pose big{0, 0, f}, small{0, 0, f * 0.96};
    const bool in = nth % 2 == 0;
    still(BACK, entry(u.first), in ? small : big, in ? big : small);
    return;
  }

  // A landscape filling the screen; how it comes on depends on what is there.
  ++fills_;
  Entrance entrance = Entrance::Cut;
  if (slot.section_start && r > 0 && previous_fill == BEARD && !segments_[BEARD].empty() &&
      segments_[BEARD].back().free_between(r - 6, r - 1)) {
    entrance = Entrance::Flip;
  } else if (!carded && slot.section_start && r > 0 && in_.accents.iris >= 0 && energy != Energy::Quiet &&
             iris_turn_++ % 2 == 0 && end - r >= 2 * std::min(beat_rows(r / 20.0), 8)) {
    entrance = Entrance::Iris;
  } else if (!carded && r >= 3 && (slot.section_start || random_.below(3) == 0) && layer_free_from(BEARD, r - 3)) {
    entrance = Entrance::Slide;
  }
  // A landscape cut in goes on the back layer, which leaves the front one for accents, unless a
  // section starts next: from the front layer it can turn away to reveal the next one.
  const bool next_section = next && next->section_start && units_[next->unit].kind == UnitKind::Fill;
  const int layer = entrance == Entrance::Slide ? BEARD
                    : entrance == Entrance::Cut && next_section && !carded ? BEARD
                                                                           : BACK;
  Segment s = fill_segment(u.first, r, end);
  switch (entrance) {
    case Entrance::Cut:
    case Entrance::Iris:
      break;
    case Entrance::Slide: {
      // Slides in from one side over three rows, its edge reaching the screen's at the beat.
      const int side = random_.below(2) == 0 ? 1 : -1;
      Pose off = s.keys.front().pose;
      off.x = side * (VIEW_HALF_WIDTH + half_width(aspect(u.first), off.f)) + 0.02 * side;
      s.keys.insert(s.keys.begin(), PoseKey{r - 3, off, LINEAR});
      break;
    }
    case Entrance::Flip: {
      // The new photo is put on the back layer while the front one still covers the screen; the
      // front one turns edge-on over the rows before the beat, revealing it.
      Segment& front = segments_[BEARD].back();
      front.split(r - 6);
      front.split(r - 1);
      for (PoseKey& k : front.keys)
        if (k.row == r - 1) k.pose.roty = 90, k.interp = STEP;
      s.keys.insert(s.keys.begin(), PoseKey{r - 6, s.keys.front().pose, STEP});
      s.keys[1].interp = s.keys.size() > 2 ? LINEAR : STEP;
      break;
    }
  }
  // The first key holds until the one at the beat when it only prepares the photo.
  if (entrance == Entrance::Flip) s.keys.front().interp = STEP;
  add(layer, s.entry, s.keys, end);
  change(r, layer, s.entry);
  fill_layer_ = layer;

  if (entrance == Entrance::Iris) {
    // The iris covers the screen but for its hole, through which the new photo shows; it opens
    // until the hole is wider than the screen.
    const int open = std::min(beat_rows(r / 20.0), 8);
    add(BEARD, in_.accents.iris, {{r, {0, 0, 3.3}, LINEAR}, {r + open, {0, 0, 12}, STEP}}, r + open + 1, false);
    fill_layer_ = -1;
    return;
  }
  if (layer != BACK || carded) return;
  // Accents over a landscape: in a quiet section now and then a frame, in a mid one a cameo.
  if (energy == Energy::Quiet && in_.accents.frame >= 0 && fills_ % 4 == 1 && end - r >= 16) {
    add(BEARD, in_.accents.frame, {{r, {0, 0, 3.0}, LINEAR}, {end - 1, {0, 0, 3.06}, STEP}}, end, false);
    fill_layer_ = -1;
  } else if (energy == Energy::Mid && !in_.accents.cameos.empty() && fills_ % 5 == 2 && end - r >= 16) {
    const int cameo = in_.accents.cameos[(fills_ / 5) % in_.accents.cameos.size()];
    const double side = (fills_ / 5) % 2 == 0 ? 1 : -1;
    // It grows in over three rows after the cut, and sways a little.
    add(BEARD, cameo,
        {{r, {side * 1.95, -0.7, 0.0, 0}, LINEAR},
         {r + 3, {side * 1.95, -0.7, 0.72, -3 * side}, LINEAR},
         {end - 1, {side * 1.95, -0.66, 0.75, 3 * side}, STEP}},
        end, false);
    fill_layer_ = -1;
  }
}

// On the strong beats of loud sections every layer on screen swells by a few percent and settles
// back over five rows.
void Maker::add_pulses() {
  const int every = in_.style == ShowStyle::Calm ? m_.beats_per_bar : std::max(1, m_.beats_per_bar / 2);
  for (size_t s = 0; s < m_.sections.size(); ++s) {
    if (m_.sections[s].energy != Energy::Loud) continue;
    const int first = m_.bars[std::min<size_t>(m_.sections[s].first_bar, m_.bars.size() - 1)];
    const int last = s + 1 < m_.sections.size() && m_.sections[s + 1].first_bar < static_cast<int>(m_.bars.size())
                         ? m_.bars[m_.sections[s + 1].first_bar]
                         : static_cast<int>(m_.beats.size());
    for (int b = first; b < last; b += every) {
      const int row = row_of(m_.beats[b]);
      for (auto& layer : segments_)
        for (Segment& seg : layer) {
          if (seg.card || !seg.free_between(row - 1, row + 5)) continue;
          seg.split(row - 1);
          seg.split(row);
          seg.split(row + 5);
          for (PoseKey& k : seg.keys)
            if (k.row == row) k.pose.f *= PULSE;
        }
    }
  }
}

// The card over its unit, on the front layer: at full strength from the first row when it is the
// title (the show's fade from black brings it in), else stepping up through its fainter copies
// from the beat; stepping down to end a beat before the next change.
void Maker::place_card(const ShowCard& card, const Slot& slot) {
  const int r = slot.row, beat = beat_rows(r / 20.0);
  const int step = 2;  // rows each fainter copy is shown for
  const int end = std::max(r + 1, slot.end - beat);
  const bool fades = end - r >= 2 * (CARD_FADES + 1) * step + 4;
  const Pose pose{0, card.title ? 0.0 : -0.85, VIEW_HALF_WIDTH};
  Segment s{card.entry, end, {{r, pose, STEP}}, false, true, {}};
  if (fades) {
    if (!card.title || r > 0) {
      s.entry = card.entry + CARD_FADES;
      for (int k = 1; k <= CARD_FADES; ++k) s.fades.push_back({r + k * step, card.entry + CARD_FADES - k});
    }
    for (int k = 1; k <= CARD_FADES; ++k) s.fades.push_back({end - (CARD_FADES + 1 - k) * step, card.entry + k});
  }
  std::vector<Segment>& list = segments_[BEARD];
  if (!list.empty() && list.back().end > r) list.back().end = r;
  list.push_back(std::move(s));
}

void put(Track& t, int row, double v, int interp) { t[row] = Key{static_cast<float>(round4(v)), interp}; }

// Keys the track's values do not need: one that repeats a held value, and one on the straight line
// between its neighbours. Passes until none is left, since a key dropped can make its neighbour
// needless.
void drop_needless_keys(Track& track) {
  for (bool dropped = true; dropped && track.size() >= 2;) {
    dropped = false;
    for (auto it = std::next(track.begin()); it != track.end();) {
      const auto before = std::prev(it);
      const auto after = std::next(it);
      const Key& b = before->second;
      const Key& k = it->second;
      const bool same = b.value == k.value;
      bool drop = false;
      if (same && b.interp == STEP && k.interp == STEP) {
        drop = true;
      } else if (same && b.interp == LINEAR && k.interp == STEP) {
        before->second.interp = STEP;
        drop = true;
      } else if (b.interp == LINEAR && k.interp == LINEAR && after != track.end()) {
        const double t = static_cast<double>(it->first - before->first) / (after->first - before->first);
        const double line = b.value + (after->second.value - b.value) * t;
        drop = std::abs(line - k.value) < 1e-4;
      }
      if (drop) it = track.erase(it), dropped = true;
      else ++it;
    }
  }
}

void Maker::emit_layer(int layer) {
  std::array<Track, 10>& t = tracks_[layer];
  const std::vector<Segment>& list = segments_[layer];
  auto hide = [&](int row) {
    put(t[SCALE], row, -1, STEP);
    put(t[ROTY], row, 0, STEP);
  };
  if (list.empty() || list.front().start() > 0) hide(0);
  // n holds the first entry from the start, so that no row ever names an entry that is not there.
  if (!list.empty()) put(t[N], 0, list.front().entry, STEP);
  for (size_t i = 0; i < list.size(); ++i) {
    const Segment& s = list[i];
    put(t[N], s.start(), s.entry, STEP);
    for (const auto& [row, e] : s.fades) put(t[N], row, e, STEP);
    for (const PoseKey& k : s.keys) {
      put(t[X], k.row, k.pose.x, k.interp);
      put(t[Y], k.row, k.pose.y, k.interp);
      put(t[SCALE], k.row, k.pose.f - 1, k.interp);
      put(t[ROTZ], k.row, k.pose.rotz, k.interp);
      put(t[ROTY], k.row, k.pose.roty, k.interp);
    }
    if (i + 1 == list.size() || list[i + 1].start() > s.end) hide(s.end);
  }
  put(t[ROTX], 0, 0, STEP);
  for (int p : {X, Y, ROTZ, ROTY, N})
    if (t[p].empty() || t[p].begin()->first > 0) put(t[p], 0, t[p].empty() ? 0 : t[p].begin()->second.value, STEP);
  for (Track& track : t) drop_needless_keys(track);
}

Choreography Maker::run() {
  const int end_row = std::max(row_of(m_.end), 40);
  // The music fades over its last bar (with --length, the very bar e12.mp3 fades over).
  const int fade = std::clamp(bar_rows(m_.end), 10, static_cast<int>(FADE_SECONDS_MAX * 20));
  const int first_bar_row = m_.bars.empty() ? 0 : row_of(m_.beats[m_.bars[0]]);
  const int fade_in_end = std::clamp(first_bar_row + bar_rows(0), 20, std::max(20, end_row / 4));
  const int fade_out = std::max(end_row - fade, fade_in_end + 1);

  std::vector<double> weights;
  // A unit with a card is held long enough to read it, a title longer.
  std::vector<bool> chapters;
  if (!card_of_unit_.empty()) chapters.assign(units_.size(), false);
  for (const PhotoUnit& u : units_) weights.push_back(u.weight());
  for (const auto& [unit, card] : card_of_unit_) {
    const bool title = in_.cards[card].title;
    weights[unit] = std::max(weights[unit], title ? 2.2 : 1.8);
    chapters[unit] = !title;
  }
  const double pace = photos_per_minute(in_.style);
  Pacing pacing{60.0 / pace, in_.style == ShowStyle::Calm ? 9.0 : 5.0};
  slots_ = plan_slots(m_, weights, pacing, fade_out, chapters);
  if (!slots_.empty()) slots_.back().end = end_row;
  std::set<int> placed;  // units shown once already: a card opens only a unit's first showing
  for (size_t k = 0; k < slots_.size(); ++k) {
    const int unit = slots_[k].unit;
    const bool carded = card_of_unit_.count(unit) && placed.insert(unit).second;
    place_unit(slots_[k], k + 1 < slots_.size() ? &slots_[k + 1] : nullptr, static_cast<int>(k), carded);
    if (carded) {
      place_card(in_.cards[card_of_unit_[unit]], slots_[k]);
      cards_shown_.push_back(card_of_unit_[unit]);
    }
  }
  add_pulses();

  Choreography out;
  for (int layer = 0; layer < 2; ++layer) {
    for (const Segment& s : segments_[layer]) {
      double& largest = out.largest_factor[s.entry];
      for (const PoseKey& k : s.keys) largest = std::max(largest, std::abs(k.pose.f));
    }
    emit_layer(layer);
  }

  // Colour: black at the start, fading in; full until the last bar, fading out to the end.
  for (auto& t : tracks_)
    for (int c : {R, G, B}) {
      put(t[c], 0, 0, LINEAR);
      put(t[c], fade_in_end, 1, STEP);
      put(t[c], fade_out, 1, LINEAR);
      put(t[c], end_row, 0, STEP);
    }
  // The backdrop behind every photo that leaves part of the screen, from the end of the fade in;
  // off for the fade out when a landscape covers the screen then anyway.
  put(happy_, 0, 0, STEP);
  if (in_.accents.backdrop) {
    put(happy_, fade_in_end, 1, STEP);
    if (!slots_.empty() && units_[slots_.back().unit].kind == UnitKind::Fill) put(happy_, std::max(fade_out, slots_.back().row), 0, STEP);
  }
  put(happy_, end_row, 2, STEP);
  put(sad_, 0, 0, STEP);

  std::vector<std::pair<int, std::string>> sections;
  for (size_t i = 0; i < m_.sections.size(); ++i) {
    const double t = i == 0 ? 0.0 : section_time(m_, static_cast<int>(i));
    if (row_of(t) >= end_row) break;
    char c[160];
    std::snprintf(c, sizeof c, "%.1fs: %s", t, energy_name(m_.sections[i].energy));
    sections.push_back({row_of(t), c});
  }
  out.text = format(sections);

  std::sort(changes_.begin(), changes_.end(), [](const PhotoChange& a, const PhotoChange& b) {
    return a.row != b.row ? a.row < b.row : a.layer < b.layer;
  });
  out.changes = changes_;
  std::map<int, int> photo_of;
  for (size_t i = 0; i < in_.photos.size(); ++i) photo_of[in_.photos[i].entry] = static_cast<int>(i);
  std::set<int> shown;
  for (const auto& layer : segments_)
    for (const Segment& s : layer)
      if (s.photo && s.end > s.start() && photo_of.count(s.entry)) shown.insert(photo_of[s.entry]);
  out.shown.assign(shown.begin(), shown.end());
  out.cards_shown = cards_shown_;
  std::sort(out.cards_shown.begin(), out.cards_shown.end());
  // The part of each photo on screen at every key it is seen at: motion between two keys is
  // linear in place and size, so each edge of what is seen moves one way between them, and the
  // keys alone bound it. A key that leaves the photo wholly off screen (sliding in) is no view.
  for (const auto& layer : segments_)
    for (const Segment& s : layer) {
      if (!s.photo || !photo_of.count(s.entry)) continue;
      const double a = aspect(photo_of[s.entry]);
      for (const PoseKey& k : s.keys) {
        const double hw = half_width(a, k.pose.f), hh = half_height(a, k.pose.f);
        if (hw <= 0 || hh <= 0) continue;
        const double left = (-VIEW_HALF_WIDTH - (k.pose.x - hw)) / (2 * hw), right = (VIEW_HALF_WIDTH - (k.pose.x - hw)) / (2 * hw);
        const double top = ((k.pose.y + hh) - VIEW_HALF_HEIGHT) / (2 * hh), bottom = ((k.pose.y + hh) + VIEW_HALF_HEIGHT) / (2 * hh);
        if (right <= 0 || left >= 1 || bottom <= 0 || top >= 1) continue;
        auto [it, fresh] = out.seen.try_emplace(s.entry);
        Choreography::SeenArea& area = it->second;
        area.left = std::max(area.left, std::clamp(left, 0.0, 1.0));
        area.right = std::min(area.right, std::clamp(right, 0.0, 1.0));
        area.top = std::max(area.top, std::clamp(top, 0.0, 1.0));
        area.bottom = std::min(area.bottom, std::clamp(bottom, 0.0, 1.0));
      }
    }
  return out;
}

std::string Maker::format(const std::vector<std::pair<int, std::string>>& sections) const {
  std::string s;
  char line[256];
  s += "# Made by hallshow-make from \"" + in_.song_name + "\". Edit freely: hallshow-studio shows every save.\n";
  std::snprintf(line, sizeof line, "# %.2f beats a minute, %d to a bar (bar one at %.2fs); %s style, seed %llu.\n",
                m_.bpm, m_.beats_per_bar, m_.beats.empty() || m_.bars.empty() ? 0.0 : m_.beats[m_.bars[0]],
                in_.style == ShowStyle::Calm ? "calm" : "lively", static_cast<unsigned long long>(in_.seed));
  s += line;
  if (!m_.note.empty()) s += "# " + m_.note + "\n";
  const BeatTimes times(m_);
  s += "# Keys: TIME VALUE INTERPOLATION. Times are BAR:BEAT on the grid of the song playing (below),\n"
       "# \"17:3.5\" half a beat after bar 17's third beat; a plain number is a row (20 a second). Photo\n"
       "# changes sit on beats. n is a photo's number in hall.photo/ (its file name follows); scale 0\n"
       "# is 2 units across the photo's longer side, the screen spans about +-2.95 across and +-1.66 up;\n"
       "# colours multiply it.\n";
  s += "#\n# Sections:\n";
  for (const auto& [row, text] : sections) {
    std::snprintf(line, sizeof line, "#   %-8s %s\n", times.text(row).c_str(), text.c_str());
    s += line;
  }
  s += "\n" + times.grid_lines();

  std::map<int, std::string> names;
  for (const ShowPhoto& p : in_.photos) names[p.entry] = p.name;
  for (const ShowCard& c : in_.cards) {
    names[c.entry] = (c.title ? "the title card: " : "a card: ") + c.text;
    for (int k = 1; k <= CARD_FADES; ++k) names[c.entry + k] = names[c.entry] + " (fading)";
  }
  auto track_text = [&](const std::string& name, const Track& t, const char* what, bool photos) {
    s += "\n" + name;
    if (what) s += "    # " + std::string(what);
    s += "\n";
    for (const auto& [row, key] : t) {
      std::snprintf(line, sizeof line, "  %-8s %-9s %s", times.text(row).c_str(), format_value(key.value).c_str(),
                    key.interp == STEP ? "step" : "linear");
      s += line;
      if (photos) {
        const int e = static_cast<int>(key.value);
        if (names.count(e)) s += "    # " + names.at(e);
        else if (e == in_.accents.frame) s += "    # the frame";
        else if (e == in_.accents.iris) s += "    # the iris";
        else if (std::find(in_.accents.cameos.begin(), in_.accents.cameos.end(), e) != in_.accents.cameos.end()) s += "    # a cameo";
      }
      s += "\n";
    }
  };
  track_text("happy", happy_, "1 shows the backdrop (photo 17), 2 ends the show", false);
  track_text("sad", sad_, "drives nothing", false);
  for (int layer = 0; layer < 2; ++layer) {
    s += "\n# ---- the " + std::string(LAYER_NAMES[layer]) + " layer " + (layer == BACK ? "(behind)" : "(in front)") + "\n";
    for (int p = 0; p < 10; ++p)
      track_text(std::string(LAYER_NAMES[layer]) + "." + PARAMS[p], tracks_[layer][p], nullptr, p == N);
  }
  return s;
}

}  // namespace

double photos_per_minute(ShowStyle style) { return style == ShowStyle::Calm ? 12.0 : 25.0; }

// The fades at both ends show no photo changes; a few seconds of music go to them.
constexpr double FADES_SECONDS = 4.0;

double music_needed(int photos, ShowStyle style) { return photos * 60.0 / photos_per_minute(style) + FADES_SECONDS; }

int photo_capacity(double seconds, ShowStyle style) {
  return std::max(1, static_cast<int>(std::floor((seconds - FADES_SECONDS) * photos_per_minute(style) / 60.0 + 1e-9)));
}

Choreography make_choreography(const ChoreographyInput& in) { return Maker(in).run(); }
