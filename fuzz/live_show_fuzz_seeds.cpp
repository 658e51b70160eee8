// Writes the seed corpus of live_show_fuzz into a folder: sequences of saves (sound, broken, the
// same again, deleted) of short texts and of the demo's show, in the target's input format (steps
// separated by 0xFF, each a flag byte and a text).
// Usage: live_show_fuzz_seeds FOLDER
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Step {
  char flags;  // 1: write kestos/ after; 2: delete the text
  std::string text;
};

std::string sequence(const std::vector<Step>& steps) {
  std::string out;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (i > 0) out += '\xFF';
    out += steps[i].flags;
    out += steps[i].text;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: live_show_fuzz_seeds FOLDER\n");
    return 2;
  }
  const std::string a = "bpm 120\nback.r\n  0 1 linear\n  2s 0.5 step\nhappy\n  0 0 step\n  71.5s 2 step\n";
  const std::string b = "back.x\n  0 0 smooth\n  12.5s 1.5 linear\nbeard.n\n  0 3 step\n";
  const std::string broken = "back.r\n  0 1 linear\n  oops\nback.q\n";
  const std::string half = a.substr(0, a.size() / 2);
  std::vector<std::string> seeds = {
      sequence({{1, a}}),
      sequence({{1, a}, {1, broken}, {1, b}, {1, a}}),
      sequence({{0, a}, {0, b}, {1, b}, {2, ""}, {1, a}}),
      sequence({{1, half}, {1, a}, {1, a}, {3, ""}, {1, b}}),
      sequence({{0, b}, {1, broken}, {0, a}, {1, ""}}),
  };
  std::ifstream demo(DEMO_SHOW);
  if (demo) {
    std::stringstream all;
    all << demo.rdbuf();
    const std::string d = all.str();
    seeds.push_back(sequence({{1, d}, {1, d.substr(0, d.size() / 3)}, {1, d}}));
  }
  for (size_t i = 0; i < seeds.size(); ++i) {
    const std::string path = std::string(argv[1]) + "/seed_" + std::to_string(i);
    std::ofstream out(path, std::ios::binary);
    out << seeds[i];
    if (!out) {
      std::fprintf(stderr, "live_show_fuzz_seeds: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
