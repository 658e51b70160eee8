#pragma once
// What the leader says beside the clock, as text: a beat several times a second (which run of the
// leader this is, its show, its clock and the base time) and, for each machine that joins, the
// list its show's fingerprint is made of. Anything that does not parse as one of them is dropped.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/wall/show_fingerprint.h"

// How the machines share a time.
enum class ClockKind { Net, Ptp, System };

struct ClockChoice {
  ClockKind kind = ClockKind::Net;
  int domain = 0;  // PTP's
  friend bool operator==(const ClockChoice&, const ClockChoice&) = default;
};
// "net", "ptp", "ptp:3", "system" as --clock takes it; nothing when it is none of those.
std::optional<ClockChoice> parse_clock_choice(std::string_view text);
std::string clock_choice_name(const ClockChoice& clock);

struct Beat {
  uint64_t run = 0;          // chosen by each start of the leader: a restarted leader is a new run
  std::string show;          // the show folder's name
  ClockChoice clock;
  int clock_port = 0;        // the net clock's UDP port (0 for the other clocks)
  bool has_base = false;     // false until the leader's music has started
  int64_t base = 0;          // shared-clock nanoseconds at which the music's position 0 is heard
  uint64_t fingerprint = 0;  // ShowFingerprint::digest
  friend bool operator==(const Beat&, const Beat&) = default;
};

struct FingerprintList {
  uint64_t run = 0;
  ShowFingerprint fingerprint;
};

// Every message starts with this; a subscriber takes only what starts so.
inline constexpr std::string_view MESSAGE_PREFIX = "hallshow-wall ";

std::string encode_beat(const Beat& beat);
std::string encode_list(const FingerprintList& list);
// Nothing for anything but a whole, well-formed message of its kind.
std::optional<Beat> decode_beat(std::string_view text);
std::optional<FingerprintList> decode_list(std::string_view text);
