#pragma once
// Where "happy" ends a show: the first row at which it truncates to 2, as the show's frames would
// meet it, so that a capture can say what ended it.
#include <optional>

#include "sync/sync_track.h"

// The first row in [from, until] at which "happy" reads from 2 to below 3; none when it never does
// there. Rows between keys are looked at every 1/64 of a row, finer than any frame rate meets them.
std::optional<double> end_of_show_row(const SyncTrack& happy, double from, double until);
