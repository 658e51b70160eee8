// libFuzzer target for the studio's live show text: a sequence of texts, sound and broken, saved
// and deleted in turn, each taken in by LiveShow::reload and, when the step says so, written to
// kestos/ by write_pending. Never a crash, and after every step the scene's tracks are exactly
// what the last sound text builds: its own tracks' keys, and for the others the authoring
// defaults (colours 1, a layer the text never mentions hidden, the rest 0; there is no music, so
// no end is added). At the end kestos/ holds the build of what was written.
//
// Input: steps separated by 0xFF bytes; each step is a flag byte and a text. Flag bit 0: write
// kestos/ after the step; bit 1: delete the text instead of saving it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sync/sync_track.h"
#include "sync/track_file.h"
#include "tools/authoring/scene_track_names.h"
#include "tools/authoring/show_text.h"
#include "tools/studio/live_show.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t MAX_STEPS = 24;

struct World {
  fs::path dir, text;
  std::unique_ptr<SyncTrackStore> store;
  std::vector<SyncTrack*> tracks;
};

World& world() {
  static World* w = [] {
    auto* made = new World;
    // In memory where there is a tmpfs: every write is synced, which costs nothing there.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/live_show_fuzz_XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    made->dir = pattern;
    made->text = made->dir / "show.txt";
    made->store = create_track_store("sync");
    for (std::string_view name : KESTO_TRACK_NAMES) made->tracks.push_back(get_track(*made->store, name));
    std::atexit([] { fs::remove_all(world().dir); });
    return made;
  }();
  return *w;
}

bool same_keys(const std::vector<TrackKey>& a, const std::vector<TrackKey>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].row != b[i].row || a[i].type != b[i].type ||
        std::memcmp(&a[i].value, &b[i].value, sizeof(float)) != 0)
      return false;
  return true;
}

// The keys a track the text leaves out gets, worked out here on their own rather than taken from
// the code under test.
std::vector<TrackKey> default_keys(const ShowText& show, std::string_view name) {
  const size_t dot = name.find('.');
  if (dot == std::string_view::npos) return {};  // "happy" without music, "sad"
  const std::string_view layer = name.substr(0, dot + 1), part = name.substr(dot + 1);
  if (part == "r" || part == "g" || part == "b") return {{0, 1.0f, Step}};
  if (part != "scale") return {};
  for (const TextTrack& t : show.tracks)
    if (t.name.starts_with(layer)) return {};
  return {{0, -1.0f, Step}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = world();
  std::error_code ec;
  fs::remove_all(w.dir / "kestos", ec);
  fs::remove(w.text, ec);
  for (SyncTrack* t : w.tracks) t->keys.clear();
  LiveShow live(w.text.string(), w.dir.string());

  std::map<std::string, std::vector<TrackKey>> files;  // what kestos/ holds, by track
  std::map<std::string, std::vector<TrackKey>> pending;  // the tracks of the text waiting to be written
  bool write_due = false;
  std::map<std::string, std::vector<TrackKey>> expected;  // the tracks as they must be
  std::string last_read;
  bool read_before = false;

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t steps = 0;
  for (size_t at = 0; at <= input.size() && steps < MAX_STEPS; ++steps) {
    size_t end = input.find('\xFF', at);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view step = input.substr(at, end - at);
    at = end + 1;
    const uint8_t flags = step.empty() ? 0 : uint8_t(step[0]);
    const std::string text(step.empty() ? std::string_view() : step.substr(1));

    LiveShow::Result want;
    if (flags & 2) {
      fs::remove(w.text, ec);
      want = LiveShow::Result::Unreadable;
      read_before = false;
    } else {
      std::ofstream(w.text, std::ios::binary | std::ios::trunc) << text;
      if (read_before && text == last_read) {
        want = LiveShow::Result::Unchanged;
      } else {
        read_before = true;
        last_read = text;
        const ShowText show = parse_show_text(text, w.text.string());
        if (!show.errors.empty()) {
          want = LiveShow::Result::Refused;
        } else {
          want = LiveShow::Result::Applied;
          pending.clear();
          for (const TextTrack& t : show.tracks) pending[t.name] = t.keys;
          for (std::string_view name : KESTO_TRACK_NAMES)
            if (!pending.count(std::string(name))) pending[std::string(name)] = default_keys(show, name);
          write_due = true;
          expected = pending;
        }
      }
    }
    if (live.reload(w.tracks) != want) __builtin_trap();
    for (SyncTrack* t : w.tracks)
      if (!same_keys(t->keys, expected[t->name])) __builtin_trap();
    if ((want == LiveShow::Result::Refused || want == LiveShow::Result::Unreadable) && live.errors().empty())
      __builtin_trap();

    if (flags & 1) {
      if (live.write_pending() != write_due) __builtin_trap();
      if (write_due && !live.write_error().empty()) __builtin_trap();
      if (write_due)
        for (const auto& [name, keys] : pending) files[name] = keys;
      write_due = false;
      pending.clear();
    }
  }
  // kestos/ holds what was written: read back as the show reads it.
  for (const auto& [name, keys] : files) {
    SyncTrack read_back;
    read_back.name = name;
    load_track_file((w.dir / track_file_path(name)).string(), read_back);
    if (!same_keys(read_back.keys, keys)) __builtin_trap();
  }
  return 0;
}
