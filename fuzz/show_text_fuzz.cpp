// libFuzzer target for kesto's show-text parser: any text gives either errors that say where
// ("FILE:LINE: message", in line order) or tracks that are sound (names the show reads, each once,
// rows increasing, finite values, known interpolations), never a crash. What it accepts survives
// the round trip: formatted as kesto writes it and read back, the same tracks, key for key, bit
// for bit.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "tools/authoring/scene_track_names.h"
#include "tools/authoring/show_text.h"

namespace {

constexpr std::string_view FILE_NAME = "show.txt";

void check_errors(const ShowText& show, std::string_view text) {
  const long lines = long(std::count(text.begin(), text.end(), '\n')) + 1;
  long previous = 0;
  for (const std::string& e : show.errors) {
    if (e.compare(0, FILE_NAME.size() + 1, std::string(FILE_NAME) + ":") != 0) __builtin_trap();
    char* end = nullptr;
    const long line = std::strtol(e.c_str() + FILE_NAME.size() + 1, &end, 10);
    if (line < 1 || line > lines || line < previous) __builtin_trap();
    if (std::string_view(end).substr(0, 2) != ": " || std::string_view(end).size() <= 2) __builtin_trap();
    previous = line;
  }
}

void check_tracks(const ShowText& show) {
  std::set<std::string> names;
  for (const TextTrack& t : show.tracks) {
    if (!is_scene_track(t.name) || !names.insert(t.name).second || t.line < 1) __builtin_trap();
    for (size_t i = 0; i < t.keys.size(); ++i) {
      const TrackKey& k = t.keys[i];
      if (!std::isfinite(k.value) || k.type < Step || k.type > Ramp) __builtin_trap();
      if (i > 0 && k.row <= t.keys[i - 1].row) __builtin_trap();
    }
  }
}

void check_round_trip(const ShowText& show) {
  std::string again;
  for (const TextTrack& t : show.tracks) again += format_track_text(t.name, t.keys);
  const ShowText back = parse_show_text(again, FILE_NAME);
  if (!back.errors.empty() || back.tracks.size() != show.tracks.size()) __builtin_trap();
  for (size_t i = 0; i < back.tracks.size(); ++i) {
    const TextTrack &a = show.tracks[i], &b = back.tracks[i];
    if (a.name != b.name || a.keys.size() != b.keys.size()) __builtin_trap();
    for (size_t k = 0; k < a.keys.size(); ++k) {
      if (a.keys[k].row != b.keys[k].row || a.keys[k].type != b.keys[k].type ||
          std::bit_cast<uint32_t>(a.keys[k].value) != std::bit_cast<uint32_t>(b.keys[k].value))
        __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ShowText show = parse_show_text(text, FILE_NAME);
  check_errors(show, text);
  check_tracks(show);
  check_round_trip(show);
  return 0;
}
