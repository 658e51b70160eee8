// Placeholder until the track store lands.
#include "sync/sync_track.h"
std::unique_ptr<SyncTrackStore> create_track_store(std::string_view base) {
  auto s = std::make_unique<SyncTrackStore>(); s->base = base; return s;
}
SyncTrack* get_track(SyncTrackStore& store, std::string_view name) {
  store.tracks.push_back(std::make_unique<SyncTrack>()); store.tracks.back()->name = name;
  return store.tracks.back().get();
}
float get_value(const SyncTrack&, double) { return 0.0f; }
