#pragma once
// A show hallshow-make made, read back as the show reads it: its tracks evaluated at any row, the
// shape of each open photo from its file's header, which source photo each file was made from
// (photos.txt), and where on a screen each layer lies.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "photos/open_entries.h"
#include "photos/open_photo_header.h"
#include "sync/sync_track.h"
#include "tests/support/file_contents.h"
#include "tools/authoring/show_text.h"

class MadeShow {
 public:
  // The screen's half extents at the layers' depth, in the scene's units.
  static constexpr double W = 2.9455, H = 1.6569;

  explicit MadeShow(const std::filesystem::path& dir) {
    text_ = parse_show_text(file_contents(dir / "show.txt"), "show.txt");
    for (const auto& e : std::filesystem::directory_iterator(dir / "hall.photo")) {
      const std::optional<uint32_t> n = open_entry_number(e.path().filename().string());
      const OpenPhotoHeader h = read_open_photo_header_of_file(e.path().string());
      if (n && h.usable()) aspect_[static_cast<int>(*n)] = static_cast<double>(h.width()) / h.height();
    }
    std::istringstream lines(file_contents(dir / "photos.txt"));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream words(line);
      std::string file, role, source;
      words >> file >> role >> source;
      const std::optional<uint32_t> n = open_entry_number(file);
      if (n && role == "photo") source_[static_cast<int>(*n)] = std::filesystem::path(source).filename().string();
      if (n && role == "card") cards_.insert(static_cast<int>(*n));
    }
  }

  const ShowText& text() const { return text_; }
  const std::map<int, double>& aspects() const { return aspect_; }
  // The source photo's file name of an open entry, "" for none.
  std::string source(int entry) const { return source_.count(entry) ? source_.at(entry) : ""; }
  // Whether an open entry is a card (a title's or a chapter's, or a fainter copy it fades through).
  bool card(int entry) const { return cards_.count(entry) > 0; }

  std::vector<TrackKey> keys(const std::string& name) const {
    for (const TextTrack& t : text_.tracks)
      if (t.name == name) return t.keys;
    return {};
  }
  float value(const std::string& name, double row) const {
    SyncTrack track;
    track.keys = keys(name);
    return get_value(track, row);
  }

  struct Layer {
    bool drawn = false;  // not shrunk to nothing
    bool flat = true;    // no turn about any axis
    int entry = 0;
    double x = 0, y = 0, half_width = 0, half_height = 0;  // units
  };
  Layer layer(const std::string& name, double row) const {
    Layer l;
    const double f = value(name + ".scale", row) + 1;
    l.entry = static_cast<int>(value(name + ".n", row));
    l.drawn = f > 0;
    l.flat = value(name + ".rotx", row) == 0 && value(name + ".roty", row) == 0 && value(name + ".rotz", row) == 0;
    const double a = aspect_.count(l.entry) ? aspect_.at(l.entry) : 1.0;
    l.x = value(name + ".x", row), l.y = value(name + ".y", row);
    l.half_width = f * std::min(1.0, a), l.half_height = f * std::min(1.0, 1 / a);
    return l;
  }
  static bool covers(const Layer& l) {
    return l.drawn && l.flat && l.half_width >= W + std::abs(l.x) && l.half_height >= H + std::abs(l.y);
  }
  // Whether any of the layer is on screen: drawn, within the screen, not edge-on, not covered by
  // the front layer lying flat over all of it.
  bool seen(const std::string& name, double row) const {
    const Layer l = layer(name, row);
    if (!l.drawn || std::abs(l.x) >= W + l.half_width || std::abs(l.y) >= H + l.half_height) return false;
    if (value(name + ".roty", row) == 90 || value(name + ".rotx", row) == 90) return false;
    if (name == "back") {
      const Layer front = layer("beard", row);
      if (aspect_.count(front.entry) && covers(front)) return false;
    }
    return true;
  }

 private:
  ShowText text_;
  std::map<int, double> aspect_;       // open entries by number
  std::map<int, std::string> source_;  // open entries by number
  std::set<int> cards_;
};
