#pragma once
// Worker threads that run a decode function over job numbers 0, 1, 2, … in that order, never more
// than `ahead` jobs beyond the last one taken, while the owner takes the results in order.
//
// A byte budget bounds what is decoded but not yet uploaded: the results waiting to be taken,
// the one taken last (the owner uploads it before taking the next), and the room reserved by the
// decodes under way. A decode starts only when its room fits into what is left of the budget, so
// the memory held does not grow with the number of workers. The room of a job is what `estimate`
// says it will hold at its peak while decoding (at least its result), known before decoding from
// the file's header, and once it is done only its result stays counted; when it cannot say,
// the largest result seen so far stands in. A job that does not fit even into an empty budget
// runs once nothing else is held, alone: the bound is then that one photo.
//
// Jobs named `first` (those known to decode far slower than the rest) start before all others,
// whatever their number, and their results wait for their turn: started in order, one of them
// would otherwise run alone at the end while the other workers idle. Their rooms count, but they
// never keep a job in order from starting: the memory held may exceed the budget by theirs.
//
// Workers that cannot be started (thread limits) are done without; when none starts at all, take
// decodes each job itself, on the owner's thread.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "photos/texture_loaders.h"

class DecodeAhead {
 public:
  using Decode = std::function<TextureImage(size_t job)>;
  // At least the most a job holds while it runs (its result included), told before it is
  // decoded; 0 when that cannot be told.
  using Estimate = std::function<size_t(size_t job)>;
  static constexpr size_t NO_BUDGET = SIZE_MAX;
  // The budget, not the core count, bounds the work in flight: more workers would only hold more
  // decodes' working memory at once.
  static constexpr int MAX_WORKERS = 8;

  // `ahead` counts jobs started but not yet taken; at least 1.
  DecodeAhead(size_t jobs, Decode decode, int workers, int ahead, size_t budget_bytes = NO_BUDGET,
              Estimate estimate = {}, std::vector<size_t> first = {});
  ~DecodeAhead();  // stops starting new jobs and joins the workers
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // Waits for job `job` and hands over its result; jobs must be taken in order, each once. Taking
  // a job says that the one taken before it has been uploaded and freed.
  TextureImage take(size_t job);

 private:
  void work();
  TextureImage take_here(size_t job);
  size_t estimate_of(size_t job) const;

  const size_t jobs_;
  const Decode decode_;
  const size_t ahead_;
  const size_t budget_;
  const Estimate estimate_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<size_t> order_;     // the jobs in the order they start: `first`, then the others
  std::vector<bool> early_;       // a job of `first`
  size_t next_ = 0;      // place in order_ of the next job to start
  size_t taken_ = 0;     // jobs handed over
  size_t reserving_ = 0; // the place in order_ whose turn it is to reserve its room
  size_t early_held_ = 0;  // of held_, what jobs of `first` hold before they are taken
  size_t held_ = 0;      // bytes reserved or decoded and not yet uploaded
  size_t in_hand_ = 0;   // of those, the result taken last
  size_t largest_ = 0;   // the largest result so far
  bool stopping_ = false;
  std::vector<std::optional<TextureImage>> done_;
  std::vector<std::thread> threads_;
};
