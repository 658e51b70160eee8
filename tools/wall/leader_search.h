#pragma once
// The leader found on the LAN without its address: it announces a DNS-SD service named after its
// show folder over mDNS, and a follower looks for the service of its own folder's name. Through
// the Avahi daemon; without one, the leader is simply not announced and a follower keeps looking
// (the daemon may start later).
#include <functional>
#include <memory>
#include <optional>
#include <string>

inline constexpr const char* WALL_SERVICE_TYPE = "_hallshow-wall._tcp";

// One line for stderr, said once for each kind of trouble.
using SayLine = std::function<void(const std::string&)>;

class LeaderAnnouncement {
 public:
  virtual ~LeaderAnnouncement() = default;
};
// Announces the leader of `show` on `port` for as long as the result lives.
std::unique_ptr<LeaderAnnouncement> announce_leader(const std::string& show, int port, SayLine say);

struct LeaderAddress {
  std::string host;
  int port = 0;
};

class LeaderSearch {
 public:
  virtual ~LeaderSearch() = default;
  // The leader's address once it is found.
  virtual std::optional<LeaderAddress> found() = 0;
};
std::unique_ptr<LeaderSearch> search_leader(const std::string& show, SayLine say);
