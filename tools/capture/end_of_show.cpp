#include "tools/capture/end_of_show.h"

#include <cmath>

std::optional<double> end_of_show_row(const SyncTrack& happy, double from, double until) {
  if (happy.keys.empty() || !(until >= from)) return std::nullopt;
  constexpr double STEPS_PER_ROW = 64.0;
  const double first = std::ceil(from * STEPS_PER_ROW), last = std::floor(until * STEPS_PER_ROW);
  for (double i = first; i <= last; ++i) {
    const double row = i / STEPS_PER_ROW;
    if (static_cast<int>(get_value(happy, row)) == 2) return row;
  }
  return std::nullopt;
}
