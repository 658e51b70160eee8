// The registry of tracks: each name is created and loaded once, on its first request.
#include "sync/track_file.h"

std::unique_ptr<SyncTrackStore> create_track_store(std::string_view base) {
  auto store = std::make_unique<SyncTrackStore>();
  store->base = base;
  return store;
}

// The literal word "base" is part of every path, whatever the store's own base is: the track
// files were authored that way and the show only reads them.
std::string track_file_path(std::string_view name) {
  std::string path = "kestos/base_";
  path += name;
  path += ".kesto";
  return path;
}

// A linear search in order of first request: the show asks for its 22 tracks once, at start-up.
// Names compare byte for byte, so "Back.x" and "back.x" are two tracks and two files.
SyncTrack* get_track(SyncTrackStore& store, std::string_view name) {
  for (const auto& track : store.tracks)
    if (track->name == name) return track.get();
  auto track = std::make_unique<SyncTrack>();
  track->name = name;
  SyncTrack* handle = track.get();
  store.tracks.push_back(std::move(track));
  load_track_file(track_file_path(name), *handle);  // a missing file leaves a track that reads 0
  return handle;
}
