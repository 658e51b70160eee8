#include "tools/authoring/authoring_defaults.h"

#include <algorithm>
#include <string_view>

#include "tools/authoring/scene_track_names.h"

namespace {

bool layer_mentioned(const ShowText& show, std::string_view layer) {
  return std::any_of(show.tracks.begin(), show.tracks.end(), [&](const TextTrack& t) {
    return t.name.size() > layer.size() && t.name.starts_with(layer) && t.name[layer.size()] == '.';
  });
}

std::vector<TrackKey> default_keys(const ShowText& show, std::string_view name, std::optional<int32_t> music_end_row) {
  const size_t dot = name.find('.');
  const std::string_view layer = dot == std::string_view::npos ? std::string_view() : name.substr(0, dot);
  const std::string_view part = dot == std::string_view::npos ? name : name.substr(dot + 1);
  if (part == "r" || part == "g" || part == "b") return {{0, DEFAULT_COLOUR, Step}};
  if (part == "scale" && !layer_mentioned(show, layer)) return {{0, HIDDEN_LAYER_SCALE, Step}};
  if (name == "happy" && music_end_row) {
    if (*music_end_row <= 0) return {{0, END_OF_SHOW, Step}};
    return {{0, 0.0f, Step}, {*music_end_row, END_OF_SHOW, Step}};
  }
  return {};
}

}  // namespace

std::vector<TextTrack> whole_show_tracks(const ShowText& show, std::optional<int32_t> music_end_row) {
  std::vector<TextTrack> tracks;
  tracks.reserve(KESTO_TRACK_NAMES.size());
  for (std::string_view name : KESTO_TRACK_NAMES) {
    auto given = std::find_if(show.tracks.begin(), show.tracks.end(), [&](const TextTrack& t) { return t.name == name; });
    if (given != show.tracks.end())
      tracks.push_back(*given);
    else
      tracks.push_back(TextTrack{std::string(name), default_keys(show, name, music_end_row), 0, {}});
  }
  return tracks;
}
