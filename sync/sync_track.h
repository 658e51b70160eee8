#pragma once
// Named keyframe tracks, loaded from their binary files on first request and evaluated at fractional rows.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum KeyType : int32_t { Step = 0, Linear = 1, Smooth = 2, Ramp = 3 };

struct TrackKey {
  int32_t row;
  float value;
  int32_t type;  // a KeyType code; other codes evaluate to 0
};

struct SyncTrack {
  std::string name;
  std::vector<TrackKey> keys;  // sorted by increasing row; empty when the file was missing
};

struct SyncTrackStore {
  std::string base;  // kept, but takes no part in file paths
  std::vector<std::unique_ptr<SyncTrack>> tracks;  // in order of first request; tracks never move
};

std::unique_ptr<SyncTrackStore> create_track_store(std::string_view base);
// The track named exactly `name`, created and loaded from its file on first request.
// The pointer stays valid for the life of the store.
SyncTrack* get_track(SyncTrackStore& store, std::string_view name);
// "kestos/base_<name>.kesto", relative to the working directory.
std::string track_file_path(std::string_view name);

// The most keys a track may hold: a key on every row for over three and a half hours, far above
// any show. The track file tells no total of its own, so a file claiming more (a damaged count in a
// sparse file takes no disk, and would take gigabytes of memory) is refused.
inline constexpr int32_t MAX_TRACK_KEYS = int32_t(1) << 18;

// Results of load_track_file. Whatever the result, the track holds only whole keys read from the file.
enum TrackFileResult : int {
  TRACK_FILE_READ = 0,            // every key the count promises was read
  TRACK_FILE_UNOPENABLE = 1,      // missing or unreadable; no keys
  TRACK_FILE_SHORT = 2,           // fewer bytes than the count promises; the whole keys present are kept
  TRACK_FILE_NEGATIVE_COUNT = 3,  // the count is below zero; no keys
  TRACK_FILE_TOO_MANY_KEYS = 4,   // the count and the file's size both pass MAX_TRACK_KEYS; no keys
};
// 0 when the file was opened and read, 1 when it cannot be opened (the track keeps no keys);
// 2 to 4 for the damaged files above. The track's previous keys are replaced.
int load_track_file(const std::string& path, SyncTrack& track);
// One line naming a TrackFileResult, for tools and test messages.
const char* describe_track_file_result(int result);

float get_value(const SyncTrack& track, double row);
