// Writes the seed corpus of show_text_fuzz into a folder: the demo's show, and short texts with
// every kind of line the parser knows and every mistake it reports.
// Usage: show_text_fuzz_seeds FOLDER
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: show_text_fuzz_seeds FOLDER\n");
    return 2;
  }
  std::vector<std::string> texts = {
      "back.x\n  0 0 smooth\n  12.5s 1.5 linear  # a comment\n  300 -2 ramp\n  400 1e-3 step\n",
      "# only a comment\n\n\t\r\n",
      "happy\n  -20 0 step\n  +0.05s +1 step\n  2147483647 3.4028235e38 linear\n",
      "beard.n\n  0.01s 1 step\n  99999999999 1 step\n  10 nan step\n  20 1e39 linear\n  30 1 bounce\n",
      "sad\n  10 1 step\n  10 2 step\n  5 3 step\nsad\n",
      "nonsense.track\n  0 1 step\n0 1 step\nback.y 1\nback.y\n  1 2 step extra\n",
      "back.rotz\r\n  0s 0 linear\r\n  1.00s 360 linear\r\n",
      "bpm 128\nbeats 3\nstart 0.35s\nback.n\n  1:1 1 step\n  repeat 2:1 to 4:1 every 1 beat: 3 step, 4 linear, 5 smooth\n"
      "  4:1.5 9 ramp\n  repeat 5:1 to 7:1 every 1 bar: 1 step\n",
      "bpm 120\nback.x\n  0:1 1 step\n  1:9 1 step\n  repeat 1:1 to 2:1 every 0 beats: 1 step\n  repeat 2:1 to 1:1 every 1 beat: 1 step,\n",
  };
  std::ifstream demo(DEMO_SHOW);  // the demo's whole show, when the tree has it
  if (demo) {
    std::stringstream all;
    all << demo.rdbuf();
    texts.push_back(all.str());
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::string path = std::string(argv[1]) + "/seed_" + std::to_string(i) + ".txt";
    std::ofstream out(path, std::ios::binary);
    out << texts[i];
    if (!out) {
      std::fprintf(stderr, "show_text_fuzz_seeds: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
