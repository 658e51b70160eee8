#include "show/open_photo_schedule.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace {

constexpr int32_t LAST_ROW = std::numeric_limits<int32_t>::max() - 1;

// One stretch of a track between two key rows, [from, to): the value there is one key's held
// value (step, and before the first or after the last key) or a monotone curve between two values.
struct Stretch {
  int32_t from, to;  // `to` is LAST_ROW + 1 for the stretch after the last key
  float start, end;  // the values at `from` and towards `to`; equal when held
  bool held;
};

// The stretches a track is made of, in order, from row 0 on. A track without keys reads 0.
std::vector<Stretch> stretches_of(const SyncTrack* track) {
  std::vector<Stretch> out;
  if (!track || track->keys.empty()) {
    out.push_back({0, LAST_ROW + 1, 0.0f, 0.0f, true});
    return out;
  }
  const auto& keys = track->keys;
  if (keys.front().row > 0) out.push_back({0, keys.front().row, keys.front().value, keys.front().value, true});
  for (size_t i = 0; i < keys.size(); ++i) {
    // Of several keys on one row the last governs; the others span nothing.
    if (i + 1 < keys.size() && keys[i + 1].row == keys[i].row) continue;
    const TrackKey& k = keys[i];
    const int32_t to = i + 1 < keys.size() ? keys[i + 1].row : LAST_ROW + 1;
    if (to <= 0) continue;
    const int32_t from = std::max(k.row, 0);
    if (i + 1 == keys.size() || k.type == Step) {
      out.push_back({from, to, k.value, k.value, true});
    } else if (k.type == Linear || k.type == Smooth || k.type == Ramp) {
      out.push_back({from, to, k.value, keys[i + 1].value, k.value == keys[i + 1].value});
    } else {
      out.push_back({from, to, 0.0f, 0.0f, true});  // an unknown type reads 0
    }
  }
  return out;
}

// Whole rows of `track` where its value is certainly `value` all through.
std::vector<RowSpan> rows_held_at(const SyncTrack* track, float value) {
  std::vector<RowSpan> out;
  for (const Stretch& s : stretches_of(track))
    if (s.start == value && s.end == value && s.from < s.to) {
      if (!out.empty() && out.back().last + 1 >= s.from) out.back().last = s.to - 1;
      else out.push_back({s.from, s.to - 1});
    }
  return out;
}

std::vector<RowSpan> intersect(const std::vector<RowSpan>& a, const std::vector<RowSpan>& b) {
  std::vector<RowSpan> out;
  for (size_t i = 0, j = 0; i < a.size() && j < b.size();) {
    const int32_t first = std::max(a[i].first, b[j].first), last = std::min(a[i].last, b[j].last);
    if (first <= last) out.push_back({first, last});
    (a[i].last < b[j].last ? i : j)++;
  }
  return out;
}

// `span` without the rows of `hidden` (sorted, apart).
void subtract(RowSpan span, const std::vector<RowSpan>& hidden, std::vector<RowSpan>& out) {
  auto h = std::lower_bound(hidden.begin(), hidden.end(), span.first,
                            [](const RowSpan& s, int32_t row) { return s.last < row; });
  for (; h != hidden.end() && h->first <= span.last; ++h) {
    if (h->first > span.first) out.push_back({span.first, h->first - 1});
    if (h->last >= span.last) return;
    span.first = h->last + 1;
  }
  out.push_back(span);
}

// Where along [from, to) a predicate that, once true, stays true along the stretch first holds,
// bisected on the curve itself to a fraction of a row: `reached` is the first point found where it
// holds (`to` when it never does), `before` the last point found where it does not (`from` when it
// holds from the start).
struct Edge {
  double before, reached;
};

template <class Reached>
Edge edge_where(double from, double to, Reached reached) {
  if (reached(from)) return {from, from};
  double lo = from, hi = to;
  for (int step = 0; step < 40 && hi - lo > 1.0 / 256; ++step) {
    const double mid = lo + (hi - lo) / 2;
    (reached(mid) ? hi : lo) = mid;
  }
  return {lo, hi};
}

struct LayerPlan {
  const LayerTracks& layer;
  std::vector<RowSpan> hidden;        // scale held at −1
  std::vector<RowSpan> hidden_black;  // also r, g and b held at 0: hides opaque photos
};

class Planner {
 public:
  Planner(std::span<const OpenPhotoCandidate> candidates, int32_t end) : candidates_(candidates), end_(end) {}

  void plan_layer(const LayerTracks& layer) {
    std::vector<RowSpan> hidden = rows_held_at(layer.scale, -1.0f);
    std::vector<RowSpan> black = intersect(intersect(rows_held_at(layer.r, 0.0f), rows_held_at(layer.g, 0.0f)),
                                           rows_held_at(layer.b, 0.0f));
    std::vector<RowSpan> hidden_black;  // hidden ∪ black
    std::vector<RowSpan> all = hidden;
    all.insert(all.end(), black.begin(), black.end());
    std::sort(all.begin(), all.end(), [](const RowSpan& a, const RowSpan& b) { return a.first < b.first; });
    for (const RowSpan& s : all) {
      if (!hidden_black.empty() && hidden_black.back().last + 1 >= s.first)
        hidden_black.back().last = std::max(hidden_black.back().last, s.last);
      else hidden_black.push_back(s);
    }
    for (const Stretch& s : stretches_of(layer.n)) {
      if (s.from >= end_) break;
      plan_stretch(layer, s, hidden, hidden_black);
    }
  }

  OpenPhotoPlan result() {
    OpenPhotoPlan plan;
    for (auto& [number, found] : found_) {
      std::sort(found.spans.begin(), found.spans.end(), [](const RowSpan& a, const RowSpan& b) { return a.first < b.first; });
      OpenPhotoUse use{number, {}, found.largest};
      for (const RowSpan& s : found.spans) {
        if (!use.spans.empty() && int64_t(use.spans.back().last) + 1 >= s.first)
          use.spans.back().last = std::max(use.spans.back().last, s.last);
        else use.spans.push_back(s);
      }
      plan.uses.push_back(std::move(use));
    }
    return plan;
  }

 private:
  struct Found {
    std::vector<RowSpan> spans;
    float largest = 0;
  };

  void plan_stretch(const LayerTracks& layer, const Stretch& s, const std::vector<RowSpan>& hidden,
                    const std::vector<RowSpan>& hidden_black) {
    const int32_t to = std::min(s.to, end_);
    // A curve to or from a value that is not finite reads NaN or an infinity all along (0 times an
    // infinity is NaN even at its first row), and those name photo 0.
    if (!std::isfinite(s.start) || !std::isfinite(s.end)) return;
    const double lo = std::min(s.start, s.end), hi = std::max(s.start, s.end);
    // The whole numbers the stretch passes: n in [k, k + 1) names k (open entries are all positive).
    if (hi < OPEN_ENTRY_FIRST) return;
    const double first_k = std::max(std::floor(lo), double(OPEN_ENTRY_FIRST));
    auto c = std::lower_bound(candidates_.begin(), candidates_.end(), first_k,
                              [](const OpenPhotoCandidate& e, double k) { return e.number < k; });
    for (; c != candidates_.end() && c->number <= hi; ++c) {
      const double k = c->number;
      RowSpan rows{s.from, to - 1};
      if (!s.held) {
        const bool rising = s.end > s.start;
        const auto value = [&](double row) { return double(get_value(*layer.n, row)); };
        const double enter = edge_where(s.from, to, [&](double row) {
          return rising ? value(row) >= k : value(row) < k + 1;
        }).reached;
        if (enter >= to) continue;
        const double leave = edge_where(enter, to, [&](double row) {
          return rising ? value(row) >= k + 1 : value(row) < k;
        }).before;
        // A row either side: the bisection finds the edges to a fraction of a row.
        rows = {std::max(s.from, int32_t(std::floor(enter)) - 1), std::min(to - 1, int32_t(std::floor(leave)) + 1)};
        if (rows.first > rows.last) continue;
      }
      std::vector<RowSpan> seen;
      subtract(rows, c->opaque ? hidden_black : hidden, seen);
      if (seen.empty()) continue;
      Found& found = found_[c->number];
      for (const RowSpan& r : seen) {
        found.spans.push_back(r);
        found.largest = std::max(found.largest, largest_scale_factor(layer.scale, r));
      }
    }
  }

  // The largest |1 + scale| over the rows of `span`: the curves are monotone between keys, so the
  // extremes lie at the span's ends and at its keys.
  static float largest_scale_factor(const SyncTrack* scale, RowSpan span) {
    const auto factor = [&](double row) {
      const float v = scale ? get_value(*scale, row) : 0.0f;
      return std::isfinite(v) ? float(std::fabs(double(v) + 1.0)) : 0.0f;
    };
    float largest = std::max(factor(span.first), factor(double(span.last) + 0.999));
    if (scale)
      for (const TrackKey& key : scale->keys)
        if (key.row > span.first && key.row <= span.last) largest = std::max(largest, factor(key.row));
    return largest;
  }

  std::span<const OpenPhotoCandidate> candidates_;
  int32_t end_;
  std::map<uint32_t, Found> found_;
};

// The first row at which "happy" certainly ends the show: a held value that truncates to 2.
int32_t certain_end_row(const SyncTrack* happy) {
  for (const Stretch& s : stretches_of(happy))
    if (s.held && happy_state(s.start) == 2) return s.from;
  return LAST_ROW + 1;
}

}  // namespace

OpenPhotoPlan plan_open_photos(const SceneTracks& tracks, std::span<const OpenPhotoCandidate> candidates) {
  Planner planner(candidates, certain_end_row(tracks.happy));
  planner.plan_layer(tracks.back);
  planner.plan_layer(tracks.beard);
  return planner.result();
}
