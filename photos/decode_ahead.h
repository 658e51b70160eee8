#pragma once
// Worker threads that run a decode function over job numbers 0, 1, 2, … in that order, never more
// than `ahead` jobs beyond the last one taken, while the owner takes the results in order.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "photos/texture_loaders.h"

class DecodeAhead {
 public:
  using Decode = std::function<TextureImage(size_t job)>;
  // `ahead` counts jobs started but not yet taken; at least 1.
  DecodeAhead(size_t jobs, Decode decode, int workers, int ahead);
  ~DecodeAhead();  // stops starting new jobs and joins the workers
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // Waits for job `job` and hands over its result; jobs must be taken in order, each once.
  TextureImage take(size_t job);

 private:
  void work();

  const size_t jobs_;
  const Decode decode_;
  const size_t ahead_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;   // next job to start
  size_t taken_ = 0;  // jobs handed over
  bool stopping_ = false;
  std::vector<std::optional<TextureImage>> done_;
  std::vector<std::thread> threads_;
};
