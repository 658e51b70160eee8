#pragma once
// The time every machine of a wall reads alike, behind one small interface: GStreamer's network
// clock (the leader's clock served over UDP), its PTP clock, or the machines' own real-time clock.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tools/wall/wall_message.h"

class SharedClock {
 public:
  virtual ~SharedClock() = default;
  // Nanoseconds on the shared clock; any thread may ask.
  virtual int64_t now() = 0;
  // The clock has locked on to the others: its time can be shown by.
  virtual bool synced() = 0;
  // The engine's own figures since the last call, one line ("" when it has none new).
  virtual std::string statistics() { return {}; }
};

// Reads `clock` (nanoseconds) and turns it into its value at `local` seconds of the machine's
// monotonic clock: the reading is taken between two monotonic readings close together, so that a
// thread preempted in between (a loaded machine) does not shift it by the time it was away.
int64_t clock_at(const std::function<int64_t()>& clock, double local);

// The leader's clock. For the net clock it serves it on UDP `port` (0: any free one, and `port`
// becomes the one taken). Null, with `error`, when it cannot be had.
std::unique_ptr<SharedClock> leader_clock(const ClockChoice& choice, int& port, std::string& error);

// A follower's clock, following the leader at `host`:`port` for the net clock.
std::unique_ptr<SharedClock> follower_clock(const ClockChoice& choice, const std::string& host, int port,
                                            std::string& error);

// Time that no clock shift touches (libfaketime replaces the C library's clock calls, not the
// kernel's): the boot-time clock by system call, in nanoseconds. For logs compared across
// processes whose clocks were moved on purpose.
int64_t true_nanoseconds();
