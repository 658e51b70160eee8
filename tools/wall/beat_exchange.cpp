#include "tools/wall/beat_exchange.h"

#include <algorithm>
#include <chrono>

namespace {

// How soon either end notices it is asked to stop, and how soon a new beat (a new base time)
// goes out: the leader draws by its base at once, its followers as soon as they hear it.
constexpr int POLL_MS = 10;

}  // namespace

BeatServer::BeatServer(std::unique_ptr<LeaderChannel> channel)
    : channel_(std::move(channel)), thread_([this] { run(); }) {}

BeatServer::~BeatServer() {
  stop_ = true;
  thread_.join();
}

void BeatServer::set_beat(const Beat& beat) {
  std::string text = encode_beat(beat);
  std::lock_guard<std::mutex> hold(lock_);
  if (beat_ != text) changed_ = true;
  beat_ = std::move(text);
}

void BeatServer::set_list(const FingerprintList& list) {
  std::lock_guard<std::mutex> hold(lock_);
  list_ = encode_list(list);
}

void BeatServer::run() {
  using clock = std::chrono::steady_clock;
  const auto beat_every = std::chrono::duration<double>(BEAT_SECONDS);
  const auto list_every = std::chrono::duration<double>(LIST_REPEAT_SECONDS);
  auto next_beat = clock::now(), next_list = clock::now();
  bool list_wanted = false;
  while (!stop_) {
    const auto now = clock::now();
    std::optional<std::string> beat, list;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (changed_) next_beat = now;  // said at once, not at the next beat
      changed_ = false;
      if (now >= next_beat) beat = beat_;
      if ((list_wanted || now >= next_list) && list_) list = list_;
    }
    if (list) {
      channel_->publish(*list);
      list_wanted = false;
      next_list = now + std::chrono::duration_cast<clock::duration>(list_every);
    }
    if (now >= next_beat) {
      if (beat) channel_->publish(*beat);
      next_beat = now + std::chrono::duration_cast<clock::duration>(beat_every);
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next_beat - clock::now()).count();
    if (channel_->wait_for_join(static_cast<int>(std::clamp<long long>(wait, 0, POLL_MS)))) {
      // The newcomer needs the beat as much as the list: both at once.
      list_wanted = true;
      next_beat = clock::now();
    }
  }
}

BeatListener::BeatListener(std::unique_ptr<FollowerChannel> channel, std::function<double()> now)
    : channel_(std::move(channel)), now_(std::move(now)), thread_([this] { run(); }) {}

BeatListener::~BeatListener() {
  stop_ = true;
  thread_.join();
}

BeatListener::Heard BeatListener::heard() {
  std::lock_guard<std::mutex> hold(lock_);
  return heard_;
}

void BeatListener::run() {
  while (!stop_) {
    const std::optional<std::string> message = channel_->receive(POLL_MS);
    if (!message) continue;
    const double now = now_();
    std::optional<Beat> beat = decode_beat(*message);
    std::optional<FingerprintList> list = beat ? std::nullopt : decode_list(*message);
    std::lock_guard<std::mutex> hold(lock_);
    if (beat) {
      heard_.beat = std::move(beat);
      heard_.beat_time = now;
      ++heard_.beats;
    } else if (list) {
      heard_.list = std::move(list);
    } else {
      ++heard_.dropped;
    }
  }
}
