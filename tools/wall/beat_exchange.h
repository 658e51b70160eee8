#pragma once
// The messages beside the clock, each end on a thread of its own so that neither a long photo
// load nor a slow frame keeps them waiting. The leader sends a beat that says something new at
// once and repeats it BEAT_SECONDS apart, and
// sends its fingerprint list to each follower that joins (and now and again for one that missed
// it); a follower keeps the latest of each and when its last beat came.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "tools/wall/wall_channel.h"
#include "tools/wall/wall_message.h"

inline constexpr double BEAT_SECONDS = 0.25;
inline constexpr double LIST_REPEAT_SECONDS = 5.0;

class BeatServer {
 public:
  explicit BeatServer(std::unique_ptr<LeaderChannel> channel);
  ~BeatServer();
  // What the next beats say; the fingerprint list once it is known.
  void set_beat(const Beat& beat);
  void set_list(const FingerprintList& list);

 private:
  void run();
  std::unique_ptr<LeaderChannel> channel_;
  std::mutex lock_;
  std::optional<std::string> beat_, list_;
  bool changed_ = false;  // a beat that says something new waits for no repeat
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class BeatListener {
 public:
  // `now` gives local monotonic seconds (the clock a beat's arrival is stamped with).
  BeatListener(std::unique_ptr<FollowerChannel> channel, std::function<double()> now);
  ~BeatListener();

  struct Heard {
    std::optional<Beat> beat;            // the latest
    double beat_time = 0.0;              // when it came
    uint64_t beats = 0;                  // how many have come
    std::optional<FingerprintList> list; // the latest
    uint64_t dropped = 0;                // messages that were neither
  };
  Heard heard();

 private:
  void run();
  std::unique_ptr<FollowerChannel> channel_;
  std::function<double()> now_;
  std::mutex lock_;
  Heard heard_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
