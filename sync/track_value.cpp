// Evaluation of a track at a fractional row.
//
// Notes: the key is chosen by the whole row (floor), the interpolation uses the fractional row,
// so a curve is continuous between two keys and reaches the next key's value exactly at its row.
// Arithmetic is in double precision with one rounding to single at the end, so the values match
// the authoring tool's to the last bit.
#include <cmath>
#include <limits>

#include "sync/sync_track.h"

namespace {

// Index of the last key whose row is <= irow, -1 when irow lies before the first key.
// An exact hit ends the search early; with several keys on one row the hit may be any of them.
int64_t find_key(const std::vector<TrackKey>& keys, int32_t irow) {
  int64_t lo = 0, hi = int64_t(keys.size());
  while (lo < hi) {
    const int64_t mid = (lo + hi) / 2;
    if (keys[mid].row < irow)
      lo = mid + 1;
    else if (keys[mid].row > irow)
      hi = mid;
    else
      return mid;
  }
  return lo - 1;
}

}  // namespace

float get_value(const SyncTrack& track, double row) {
  const auto& keys = track.keys;
  if (keys.empty()) return 0.0f;
  const int64_t n = int64_t(keys.size());

  // Rows beyond the range of a 32-bit row cannot be converted; they lie before the first key or
  // after the last one. NaN counts as before.
  constexpr double lowest = std::numeric_limits<int32_t>::min();
  constexpr double past_highest = double(std::numeric_limits<int32_t>::max()) + 1.0;
  if (!(row >= lowest)) return keys[0].value;
  if (row >= past_highest) return keys[n - 1].value;
  const int32_t irow = int32_t(std::floor(row));

  int64_t idx = find_key(keys, irow);
  if (idx < 0) return keys[0].value;
  // Of several keys on one row the last one governs: its value holds from that row on, and
  // the interval between the two never takes part, since it has no width to divide by.
  while (idx + 1 < n && keys[idx + 1].row == keys[idx].row) ++idx;
  if (idx > n - 2) return keys[n - 1].value;

  const TrackKey& k0 = keys[idx];
  const TrackKey& k1 = keys[idx + 1];
  const double v0 = k0.value, dv = double(k1.value) - double(k0.value);
  const double t = (row - k0.row) / (double(k1.row) - double(k0.row));
  switch (k0.type) {
    case Step: return k0.value;
    case Linear: return float(v0 + dv * t);
    case Smooth: return float(v0 + dv * (t * t * (3.0 - 2.0 * t)));
    case Ramp: return float(v0 + dv * std::pow(t, 2.0));
  }
  return 0.0f;  // an unknown type code
}
