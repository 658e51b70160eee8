// cut_accuracy SHOW_DIR BPM [START_SECONDS]: how many of a made show's visible photo changes fall
// within 50 ms of a beat of the music (beats every 60 / BPM seconds from START), as show.txt has them:
// a change is a key of back.n or beard.n where that layer is drawn, on screen and not behind a
// landscape covering the screen (a layer takes its next photo early only while it cannot be seen).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sync/sync_track.h"
#include "tools/authoring/show_text.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: cut_accuracy SHOW_DIR BPM [START_SECONDS]\n");
    return 2;
  }
  std::ifstream in(std::filesystem::path(argv[1]) / "show.txt");
  std::stringstream text;
  text << in.rdbuf();
  const ShowText show = parse_show_text(text.str(), "show.txt");
  if (!show.errors.empty()) {
    std::fprintf(stderr, "%s\n", show.errors[0].c_str());
    return 1;
  }
  const double period = 60.0 / std::atof(argv[2]), start = argc == 4 ? std::atof(argv[3]) : 0.0;
  auto value = [&](const std::string& name, double row) {
    for (const TextTrack& t : show.tracks)
      if (t.name == name) {
        SyncTrack track;
        track.keys = t.keys;
        return static_cast<double>(get_value(track, row));
      }
    return 0.0;
  };
  int cuts = 0, on_beat = 0;
  double worst = 0;
  for (const char* layer : {"back", "beard"})
    for (const TextTrack& t : show.tracks) {
      if (t.name != std::string(layer) + ".n") continue;
      for (const TrackKey& k : t.keys) {
        const double f = value(std::string(layer) + ".scale", k.row) + 1;
        if (k.row == 0 || f <= 0 || std::abs(value(std::string(layer) + ".x", k.row)) >= 2.95 + f) continue;
        // Behind a photo covering the screen (a landscape in front, lying flat).
        const double front = value("beard.scale", k.row) + 1;
        if (std::string(layer) == "back" && value("beard.n", k.row) >= 44 && value("beard.roty", k.row) == 0 &&
            value("beard.rotx", k.row) == 0 && front >= 2.95 + std::abs(value("beard.x", k.row)))
          continue;
        const double off = std::abs(std::remainder(k.row / 20.0 - start, period));
        ++cuts, on_beat += off <= 0.05, worst = std::max(worst, off);
      }
    }
  std::printf("cuts %d  within 50 ms of a beat %d (%.1f%%)  worst %.0f ms\n", cuts, on_beat,
              cuts ? 100.0 * on_beat / cuts : 0.0, worst * 1000);
  return 0;
}
