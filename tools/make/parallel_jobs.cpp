#include "tools/make/parallel_jobs.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

bool run_parallel(size_t count, const std::function<bool(size_t)>& job, bool (*stop)()) {
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    for (size_t j; !failed && !(stop && stop()) && (j = next++) < count;)
      if (!job(j)) failed = true;
  };
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads && t < count; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& t : helpers) t.join();
  return !failed && !(stop && stop()) && next >= count;
}
