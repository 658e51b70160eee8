#pragma once
// What passes beside the clock, behind one small interface: the leader publishes short messages
// to every follower, and learns when one joins; a follower receives them. Over ZeroMQ (PUB/SUB on
// the leader's TCP port), which reconnects by itself when either end goes and comes back.
#include <memory>
#include <optional>
#include <string>

class LeaderChannel {
 public:
  virtual ~LeaderChannel() = default;
  virtual void publish(const std::string& message) = 0;
  // Waits up to `timeout_ms` for a follower to join. True when one did (since the last call).
  virtual bool wait_for_join(int timeout_ms) = 0;
};

class FollowerChannel {
 public:
  virtual ~FollowerChannel() = default;
  // The next message, waiting up to `timeout_ms`; nothing when none came.
  virtual std::optional<std::string> receive(int timeout_ms) = 0;
};

// Listens on TCP `port` of every address. Null, with `error`, when the port is taken.
std::unique_ptr<LeaderChannel> leader_channel(int port, std::string& error);
// Connects to `host`:`port` (now and again whenever the connection is lost).
std::unique_ptr<FollowerChannel> follower_channel(const std::string& host, int port, std::string& error);
