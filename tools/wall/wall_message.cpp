#include "tools/wall/wall_message.h"

#include <charconv>
#include <vector>

namespace {

constexpr std::string_view BEAT_HEADER = "hallshow-wall beat 1";
constexpr std::string_view LIST_HEADER = "hallshow-wall list 1";
constexpr size_t MAX_NAME = 4096;

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return {};  // every line ends with a newline
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  return lines;
}

// "key value" with exactly this key; the value is the rest of the line.
bool field(std::string_view line, std::string_view key, std::string_view& value) {
  if (line.size() <= key.size() + 1 || line.substr(0, key.size()) != key || line[key.size()] != ' ') return false;
  value = line.substr(key.size() + 1);
  return true;
}

template <typename T>
bool number(std::string_view text, T& out, int base = 10) {
  if (text.empty() || text.front() == '+') return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return ec == std::errc() && end == text.data() + text.size();
}

std::string hex(uint64_t v) {
  char text[17];
  for (int i = 15; i >= 0; --i, v >>= 4) text[i] = "0123456789abcdef"[v & 15];
  text[16] = 0;
  return text;
}

bool printable(std::string_view text) {
  if (text.empty() || text.size() > MAX_NAME) return false;
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

}  // namespace

std::optional<ClockChoice> parse_clock_choice(std::string_view text) {
  if (text == "net") return ClockChoice{ClockKind::Net, 0};
  if (text == "system") return ClockChoice{ClockKind::System, 0};
  if (text == "ptp") return ClockChoice{ClockKind::Ptp, 0};
  int domain = 0;
  if (text.substr(0, 4) == "ptp:" && number(text.substr(4), domain) && domain >= 0 && domain <= 255)
    return ClockChoice{ClockKind::Ptp, domain};
  return std::nullopt;
}

std::string clock_choice_name(const ClockChoice& clock) {
  switch (clock.kind) {
    case ClockKind::Net: return "net";
    case ClockKind::System: return "system";
    case ClockKind::Ptp: return "ptp:" + std::to_string(clock.domain);
  }
  return "net";
}

std::string encode_beat(const Beat& beat) {
  std::string text(BEAT_HEADER);
  text += "\nrun " + hex(beat.run) + "\nshow " + beat.show + "\nclock " + clock_choice_name(beat.clock) + " " +
          std::to_string(beat.clock_port) + "\nbase " + (beat.has_base ? std::to_string(beat.base) : "none") +
          "\nfingerprint " + hex(beat.fingerprint) + "\n";
  return text;
}

std::optional<Beat> decode_beat(std::string_view text) {
  const std::vector<std::string_view> lines = lines_of(text);
  if (lines.size() != 6 || lines[0] != BEAT_HEADER) return std::nullopt;
  Beat beat;
  std::string_view v;
  if (!field(lines[1], "run", v) || !number(v, beat.run, 16)) return std::nullopt;
  if (!field(lines[2], "show", v) || !printable(v)) return std::nullopt;
  beat.show = v;
  if (!field(lines[3], "clock", v)) return std::nullopt;
  const size_t space = v.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const std::optional<ClockChoice> clock = parse_clock_choice(v.substr(0, space));
  if (!clock || !number(v.substr(space + 1), beat.clock_port) || beat.clock_port < 0 || beat.clock_port > 65535)
    return std::nullopt;
  beat.clock = *clock;
  if (!field(lines[4], "base", v)) return std::nullopt;
  if (v != "none") {
    if (!number(v, beat.base)) return std::nullopt;
    beat.has_base = true;
  }
  if (!field(lines[5], "fingerprint", v) || !number(v, beat.fingerprint, 16)) return std::nullopt;
  return beat;
}

std::string encode_list(const FingerprintList& list) {
  std::string text(LIST_HEADER);
  text += "\nrun " + hex(list.run) + "\n";
  for (const FingerprintItem& item : list.fingerprint.items) text += "item " + hex(item.digest) + " " + item.name + "\n";
  return text;
}

std::optional<FingerprintList> decode_list(std::string_view text) {
  const std::vector<std::string_view> lines = lines_of(text);
  if (lines.size() < 2 || lines[0] != LIST_HEADER) return std::nullopt;
  FingerprintList list;
  std::string_view v;
  if (!field(lines[1], "run", v) || !number(v, list.run, 16)) return std::nullopt;
  for (size_t i = 2; i < lines.size(); ++i) {
    FingerprintItem item;
    if (!field(lines[i], "item", v) || v.size() < 18 || v[16] != ' ' || !number(v.substr(0, 16), item.digest, 16) ||
        !printable(v.substr(17)))
      return std::nullopt;
    item.name = v.substr(17);
    // Sorted and unique, as the leader makes them: anything else is not its list.
    if (!list.fingerprint.items.empty() && !(list.fingerprint.items.back().name < item.name)) return std::nullopt;
    list.fingerprint.items.push_back(std::move(item));
  }
  return list;
}
