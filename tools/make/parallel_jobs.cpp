#include "tools/make/parallel_jobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

bool run_parallel(size_t count, const std::function<bool(size_t)>& job, bool (*stop)()) {
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr thrown;  // the first, rethrown here once every thread is back
  std::mutex lock;
  auto work = [&] {
    try {
      for (size_t j; !failed && !(stop && stop()) && (j = next++) < count;)
        if (!job(j)) failed = true;
    } catch (...) {  // memory running out, a library's error: the others stop, the caller is told
      std::lock_guard<std::mutex> hold(lock);
      if (!failed.exchange(true)) thrown = std::current_exception();
    }
  };
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads && t < count; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& t : helpers) t.join();
  if (thrown) std::rethrow_exception(thrown);
  return !failed && !(stop && stop()) && next >= count;
}
