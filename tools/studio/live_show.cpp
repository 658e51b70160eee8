#include "tools/studio/live_show.h"

#include <algorithm>

#include "tools/authoring/show_files.h"
#include "tools/authoring/show_text.h"

LiveShow::LiveShow(std::string text_path, std::string show_dir)
    : text_path_(std::move(text_path)), show_dir_(std::move(show_dir)) {}

LiveShow::Result LiveShow::reload(const std::vector<SyncTrack*>& tracks) {
  std::string text;
  if (!read_whole_file(text_path_, text)) {
    read_before_ = false;  // whatever comes back is news, even the same bytes
    errors_.assign(1, "cannot read " + text_path_);
    return Result::Unreadable;
  }
  if (read_before_ && text == last_text_) return Result::Unchanged;
  read_before_ = true;
  last_text_ = text;

  ShowText show = parse_show_text(text, text_path_);
  if (!show.errors.empty()) {
    errors_ = std::move(show.errors);
    return Result::Refused;
  }
  errors_.clear();
  // Every track as kestos/ will have it: the text's, and the authoring defaults for the rest.
  std::vector<TextTrack> whole = folder_tracks(show, show_dir_);
  last_key_row_ = 0;
  for (SyncTrack* track : tracks) {
    if (!track) continue;
    auto given = std::find_if(whole.begin(), whole.end(), [&](const TextTrack& t) { return t.name == track->name; });
    track->keys = given != whole.end() ? given->keys : std::vector<TrackKey>{};
    if (!track->keys.empty()) last_key_row_ = std::max(last_key_row_, track->keys.back().row);
  }
  tempo_ = tempo_from_show(show);
  ++generation_;
  unwritten_ = std::move(show);
  write_due_ = true;
  return Result::Applied;
}

bool LiveShow::write_pending() {
  if (!write_due_) return false;
  write_due_ = false;
  write_error_.clear();
  if (!write_track_files(unwritten_, show_dir_, write_error_, true) && write_error_.empty())
    write_error_ = "kestos/ not written";
  unwritten_ = ShowText{};
  return true;
}
