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

float get_value(const SyncTrack& track, double row);
