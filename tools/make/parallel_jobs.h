#pragma once
// Jobs 0 … count−1 on a few threads (one a core, at most four: decoding a photo is one thread's
// work, and more at once only holds more photos in memory). A job that returns false stops the
// others from starting; so does `stop`, asked between jobs.
#include <cstddef>
#include <functional>

// True when every job ran and returned true. A job's exception stops the others and is thrown
// again here once they are back.
bool run_parallel(size_t count, const std::function<bool(size_t)>& job, bool (*stop)());
