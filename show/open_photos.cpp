#include "show/open_photos.h"

#include <GL/gl.h>

#include <algorithm>
#include <future>
#include <memory>
#include <thread>

#include "photos/open_entries.h"
#include "photos/photo_catalogue.h"
#include "show/open_photo_schedule.h"
#include "show/open_photo_trace.h"
#include "show/scene_tracks.h"

namespace {

// The first second's photos load behind the loading screen; the stream fetches the rest while
// the music plays, several seconds ahead.
constexpr int32_t PRELOAD_ROWS = 20;

struct Found {
  std::vector<OpenEntry> entries;
  std::vector<OpenPhotoHeader> headers;
  OpenPhotoPlan plan;
};

std::unique_ptr<OpenPhotoStream> stream;
std::vector<OpenPhotoCandidate> candidates;  // the stream's entries, for planning anew
std::future<Found> finding;
std::unique_ptr<OpenPhotoTrace> trace;
bool waiting = false;
int wait_limit_ms = -1;

// Headers on all cores: a thousand photos' are a few hundred megabytes of reading when their
// Exif blocks are large.
std::vector<OpenPhotoHeader> read_headers(const std::vector<OpenEntry>& entries) {
  std::vector<OpenPhotoHeader> headers(entries.size());
  const size_t threads = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
  std::vector<std::thread> readers;
  for (size_t t = 0; t < threads; ++t) {
    try {
      readers.emplace_back([&, t] {
        for (size_t i = t; i < entries.size(); i += threads) headers[i] = read_open_photo_header_of_file(entries[i].path);
      });
    } catch (const std::system_error&) {
      for (size_t i = t; i < entries.size(); i += threads) headers[i] = read_open_photo_header_of_file(entries[i].path);
    }
  }
  for (std::thread& r : readers) r.join();
  return headers;
}

std::vector<OpenPhotoCandidate> candidates_of(const std::vector<OpenEntry>& entries,
                                              const std::vector<OpenPhotoHeader>& headers) {
  std::vector<OpenPhotoCandidate> out;
  out.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i)
    if (headers[i].usable()) out.push_back({entries[i].number, headers[i].opaque});
  return out;
}

OpenPhotoPlan plan_for(const std::vector<OpenEntry>& entries, const std::vector<OpenPhotoHeader>& headers) {
  return plan_open_photos(scene_tracks(), candidates_of(entries, headers));
}

Found find_and_plan() {
  Found found;
  found.entries = find_open_entries(PHOTO_FOLDER);
  found.headers = read_headers(found.entries);
  found.plan = plan_for(found.entries, found.headers);
  return found;
}

}  // namespace

OpenPhotoSettings open_photo_settings_for_context() {
  GLint viewport[4] = {0, 0, 0, 0}, max_texture = 0;
  glGetIntegerv(GL_VIEWPORT, viewport);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_texture);
  OpenPhotoSettings settings;
  if (viewport[3] > 0) settings.screen_height = uint32_t(viewport[3]);
  if (max_texture > 0) settings.max_texture_size = uint32_t(max_texture);
  return settings;
}

void start_open_photos() {
  stream.reset();
  // The folder is read here, on the GL thread, so that a show without open entries starts
  // exactly as it did: no thread, nothing planned.
  std::vector<OpenEntry> entries = find_open_entries(PHOTO_FOLDER);
  if (entries.empty()) {
    finding = {};
    return;
  }
  finding = std::async(std::launch::async, [entries = std::move(entries)]() mutable {
    Found found;
    found.headers = read_headers(entries);
    found.plan = plan_for(entries, found.headers);
    found.entries = std::move(entries);
    return found;
  });
}

void preload_open_photos() {
  if (!finding.valid()) return;
  Found found = finding.get();
  candidates = candidates_of(found.entries, found.headers);
  stream = std::make_unique<OpenPhotoStream>(std::move(found.entries), std::move(found.headers), found.plan,
                                             open_photo_settings_for_context());
  stream->preload(PRELOAD_ROWS);
  trace = std::make_unique<OpenPhotoTrace>();
}

void restart_open_photos() { restart_open_photos(open_photo_settings_for_context()); }

void restart_open_photos(const OpenPhotoSettings& settings) {
  stream.reset();
  finding = {};
  Found found = find_and_plan();
  candidates = candidates_of(found.entries, found.headers);
  if (found.entries.empty()) return;
  stream = std::make_unique<OpenPhotoStream>(std::move(found.entries), std::move(found.headers), found.plan, settings);
}

void stop_open_photos() {
  if (finding.valid()) finding.wait();
  finding = {};
  stream.reset();
  candidates.clear();
}

void replan_open_photos() {
  if (!stream) return;
  // The entries stay; only the tracks changed.
  stream->replan(plan_open_photos(scene_tracks(), candidates));
}

void set_open_photos_wait(bool wait, int wait_ms) {
  waiting = wait;
  wait_limit_ms = wait_ms;
}

OpenPhotoStream* open_photo_stream() { return stream.get(); }

void open_photos_before_frame(double row) {
  if (!stream) return;
  if (waiting) stream->make_ready(row, wait_limit_ms);
  else stream->before_frame(row);
  if (trace) trace->frame(row, stream->counters());
}

void finish_open_photos() {
  if (trace) trace->finish();
}
