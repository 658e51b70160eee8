#include "tools/authoring/open_photo_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "photos/open_entries.h"
#include "photos/open_photo_header.h"
#include "photos/photo_catalogue.h"
#include "show/music_clock.h"
#include "show/open_photo_schedule.h"

namespace {

// Missing numbers are planned one by one to tell which a visible layer shows; a key that sweeps
// past millions of them is told as a range instead.
constexpr uint64_t MOST_NUMBERS_PLANNED = uint64_t(1) << 20;
constexpr size_t NUMBERS_LISTED = 8;

// The scene's tracks, copied by name, in the shape the plan reads.
struct Tracks {
  std::vector<SyncTrack> copies;
  SceneTracks scene{};
  explicit Tracks(const std::vector<const SyncTrack*>& from) : copies(SCENE_TRACK_COUNT) {
    for (int i = 0; i < SCENE_TRACK_COUNT; ++i) {
      copies[size_t(i)].name = SCENE_TRACK_NAMES[i];
      for (const SyncTrack* t : from)
        if (t && t->name == SCENE_TRACK_NAMES[i]) copies[size_t(i)].keys = t->keys;
    }
    SyncTrack* c = copies.data();
    scene.back = {c, c + 1, c + 2, c + 3, c + 4, c + 5, c + 6, c + 7, c + 8, c + 9};
    scene.beard = {c + 10, c + 11, c + 12, c + 13, c + 14, c + 15, c + 16, c + 17, c + 18, c + 19};
    scene.sad = c + 20;
    scene.happy = c + 21;
  }
};

// The whole numbers from 44 up that a key of either n track passes, as ranges.
std::vector<std::pair<uint64_t, uint64_t>> named_ranges(const SceneTracks& scene) {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (const SyncTrack* n : {scene.back.n, scene.beard.n})
    for (size_t i = 0; i < n->keys.size(); ++i) {
      const TrackKey& k = n->keys[i];
      const bool curve = i + 1 < n->keys.size() && k.type >= Linear && k.type <= Ramp;
      const double a = k.value, b = curve ? n->keys[i + 1].value : k.value;
      if (!std::isfinite(a) || !std::isfinite(b)) continue;  // photo 0 all along, as the scene binds it
      const double lo = std::max(std::floor(std::min(a, b)), double(OPEN_ENTRY_FIRST));
      const double hi = std::min(std::floor(std::max(a, b)), double(OPEN_ENTRY_LIMIT - 1));
      if (lo <= hi) ranges.push_back({uint64_t(lo), uint64_t(hi)});
    }
  return ranges;
}

std::string seconds_text(int32_t row) {
  char text[32];
  std::snprintf(text, sizeof text, "%gs", row / ROW_RATE);
  return text;
}

// "50, 52, 60 to 75 and 3 more"
std::string numbers_text(const std::vector<uint32_t>& numbers) {
  std::string text;
  size_t listed = 0, i = 0;
  for (; i < numbers.size() && listed < NUMBERS_LISTED; ++listed) {
    size_t j = i;
    while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
    if (!text.empty()) text += ", ";
    text += std::to_string(numbers[i]) + (j > i ? " to " + std::to_string(numbers[j]) : "");
    i = j + 1;
  }
  if (i < numbers.size()) text += " and " + std::to_string(numbers.size() - i) + " more";
  return text;
}

}  // namespace

std::vector<PhotoProblem> check_open_photos(const std::string& dir, const std::vector<const SyncTrack*>& tracks) {
  const std::string folder = dir + "/" + PHOTO_FOLDER;
  const std::vector<OpenEntry> entries = find_open_entries(folder);
  const Tracks copies(tracks);

  std::vector<OpenPhotoCandidate> candidates;
  std::vector<OpenPhotoHeader> headers;
  for (const OpenEntry& e : entries) {
    headers.push_back(read_open_photo_header_of_file(e.path));
    candidates.push_back({e.number, headers.back().usable() && headers.back().opaque});
  }
  std::vector<PhotoProblem> problems;
  // Numbers without a photo, added as candidates of their own so that the plan says which of
  // them a layer really shows.
  std::set<uint32_t> missing;
  for (const auto& [lo, hi] : named_ranges(copies.scene)) {
    const uint64_t existing = uint64_t(
        std::count_if(entries.begin(), entries.end(), [&](const OpenEntry& e) { return e.number >= lo && e.number <= hi; }));
    if (hi - lo + 1 - existing + missing.size() > MOST_NUMBERS_PLANNED) {
      problems.push_back({"a key of back.n or beard.n sweeps " + std::to_string(lo) + " to " + std::to_string(hi) + ", where " +
                              std::to_string(hi - lo + 1 - existing) +
                              " numbers have no photo in " + PHOTO_FOLDER + ": the layer shows only its colour there",
                          false});
      continue;
    }
    for (uint64_t k = lo; k <= hi; ++k)
      if (!find_open_entry(entries, uint32_t(k))) missing.insert(uint32_t(k));
  }
  for (uint32_t k : missing) candidates.push_back({k, false});
  std::sort(candidates.begin(), candidates.end(),
            [](const OpenPhotoCandidate& a, const OpenPhotoCandidate& b) { return a.number < b.number; });
  const OpenPhotoPlan plan = plan_open_photos(copies.scene, candidates);

  std::vector<uint32_t> shown_missing;
  int32_t first_missing_row = -1;
  std::set<uint32_t> shown;
  for (const OpenPhotoUse& use : plan.uses) {
    shown.insert(use.number);
    const int32_t from = use.spans.front().first;
    const OpenEntry* entry = find_open_entry(entries, use.number);
    if (!entry) {
      shown_missing.push_back(use.number);
      if (first_missing_row < 0 || from < first_missing_row) first_missing_row = from;
      continue;
    }
    const OpenPhotoHeader& header = headers[size_t(entry - entries.data())];
    if (!header.usable()) {
      const std::string why = header.format == ImageFormat::Unknown
                                  ? "it is no JPEG or PNG (or no regular file)"
                                  : "its header does not tell its size";
      problems.push_back({entry->path.substr(dir.size() + 1) + " cannot be shown: " + why + "; a layer shows it from " +
                              seconds_text(std::max(from, 0)),
                          true});
    }
  }
  if (!shown_missing.empty())
    problems.push_back({"a layer shows " + numbers_text(shown_missing) + " from " + seconds_text(std::max(first_missing_row, 0)) +
                            ", with no photo in " + PHOTO_FOLDER + ": the layer shows only its colour",
                        false});
  for (const OpenEntry& e : entries)
    if (!shown.count(e.number)) problems.push_back({e.path.substr(dir.size() + 1) + ": no track shows it", false});
  return problems;
}
