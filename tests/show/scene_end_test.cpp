// "happy" as the show's own end, seen from outside: a process that runs the app's frame loop over
// a show folder ends with exit code 0 and presents no frame when "happy" truncates to 2 from the
// start, and goes on presenting frames otherwise.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "tests/support/gl_harness.h"

namespace {

struct Outcome {
  int exit_code = -1;
  int presented = 0;
};

Outcome run_probe(const std::string& folder) {
  const std::string command = std::string(SCENE_END_PROBE) + " '" + folder + "'";
  FILE* out = popen(command.c_str(), "r");
  if (!out) return {};
  Outcome outcome;
  std::array<char, 256> line;
  while (std::fgets(line.data(), line.size(), out)) outcome.presented += std::string(line.data()) == "presented\n";
  const int status = pclose(out);
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

struct HappyCase {
  float happy;
  bool ends;
};

class HappyEndTest : public ::testing::TestWithParam<HappyCase> {};

TEST_P(HappyEndTest, TheShowEndsWithExitCodeZeroAndNoFrameExactlyWhenHappyTruncatesToTwo) {
  gltest::TempDir folder;
  gltest::write_constant_track("back.r", 1.0f);
  gltest::write_constant_track("happy", GetParam().happy);
  const Outcome outcome = run_probe(folder.path().string());
  if (GetParam().ends) {
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(outcome.presented, 0) << "the ending frame is not presented";
  } else {
    EXPECT_EQ(outcome.exit_code, 3) << "the probe stops a show that goes on after three frames";
    EXPECT_EQ(outcome.presented, 3);
  }
}

INSTANTIATE_TEST_SUITE_P(Values, HappyEndTest,
                         ::testing::Values(HappyCase{0.999f, false}, HappyCase{1.0f, false}, HappyCase{1.999f, false},
                                           HappyCase{2.0f, true}, HappyCase{2.5f, true}, HappyCase{2.999f, true},
                                           HappyCase{3.0f, false}, HappyCase{-0.5f, false}));

}  // namespace
