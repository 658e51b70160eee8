// Other programs as the tools run them: arguments passed as they are, output and errors kept
// apart, input written through, an early end on request, and no child left behind by a parent
// that dies.
#include "tools/process/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

TEST(RunProgram, KeepsOutputErrorsAndExitCode) {
  struct Case {
    std::vector<std::string> argv;
    int exit_code;
    std::string output, errors;
  };
  // A name a shell would split, expand and run: here it is one argument, as it is.
  const std::string awkward = "it's a \"name\" with $(touch pwned) `and` ; spaces\n";
  const Case cases[] = {
      {{"sh", "-c", "echo out; echo err >&2; exit 3"}, 3, "out\n", "err\n"},
      {{"printf", "%s", awkward}, 0, awkward, ""},
      {{"cat"}, 0, "", ""},  // its input is empty, not ours
      {{"no-such-program-anywhere"}, -1, "", "no-such-program-anywhere cannot be started"},
      {{"sh", "-c", "kill -KILL $$"}, -1, "", ""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const ChildResult r = run_program(c.argv);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.argv[0];
    EXPECT_EQ(r.output, c.output) << c.argv[0];
    EXPECT_EQ(r.errors, c.errors) << c.argv[0];
    EXPECT_FALSE(r.interrupted) << c.argv[0];
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "pwned"));
}

TEST(RunProgram, EndsTheChildWhenAskedToStop) {
  const auto started = std::chrono::steady_clock::now();
  const ChildResult r = run_program({"sleep", "30"}, [] { return true; });
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  EXPECT_TRUE(r.interrupted);
  EXPECT_EQ(r.exit_code, -1);
}

TEST(ChildInput, WritesThroughToTheChildAndGivesItsExitCode) {
  TempDir dir;
  const std::string data(300000, 'x');  // more than a pipe holds
  ChildInput child;
  ASSERT_TRUE(child.start({"sh", "-c", "cat > \"$0\"; exit 4", (dir.path() / "got").string()}));
  EXPECT_TRUE(child.write(data.data(), data.size()));
  EXPECT_EQ(child.finish(), 4);
  EXPECT_EQ(file_contents(dir.path() / "got"), data);
  EXPECT_EQ(child.finish(), -1);  // once only
}

TEST(ChildInput, SaysWhenTheChildNoLongerReadsOrCannotStart) {
  signal(SIGPIPE, SIG_IGN);
  ChildInput quits;
  ASSERT_TRUE(quits.start({"true"}));
  const std::string data(1 << 20, 'x');
  bool written = true;
  for (int i = 0; i < 20 && written; ++i) written = quits.write(data.data(), data.size());
  EXPECT_FALSE(written);
  EXPECT_EQ(quits.finish(), 0);

  ChildInput missing;
  EXPECT_FALSE(missing.start({"no-such-program-anywhere"}));
  EXPECT_FALSE(missing.write("x", 1));
  EXPECT_EQ(missing.finish(), -1);
}

TEST(ChildOutput, ReadsAllTheChildSaysAsItComes) {
  // Much output, and errors along the way, which must not hold it up.
  ChildOutput child;
  ASSERT_TRUE(child.start({"sh", "-c", "for i in 1 2 3; do echo warning $i >&2; done; head -c 300001 /dev/zero; echo last >&2; exit 3"}));
  std::vector<char> buf(7000);
  size_t total = 0;
  for (size_t n; (n = child.read(buf.data(), buf.size())) > 0 || !child.done();) total += n;
  EXPECT_EQ(total, 300001u);
  EXPECT_EQ(child.finish(), 3);
  EXPECT_EQ(child.errors(), "warning 1\nwarning 2\nwarning 3\nlast\n");

  // Left before its end, it is ended, not waited for.
  ChildOutput endless;
  ASSERT_TRUE(endless.start({"yes"}));
  EXPECT_GT(endless.read(buf.data(), buf.size()), 0u);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(endless.finish(), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  ChildOutput missing;
  EXPECT_FALSE(missing.start({"hallshow-no-such-program"}));
}

TEST(ChildProcess, ChildEndsWhenItsParentDies) {
  // Orphans come to this process instead of the system's first one, to be waited for here.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  TempDir dir;
  const std::string pid_file = (dir.path() / "pid").string();
  for (const bool with_input : {false, true}) {
    std::filesystem::remove(pid_file);
    const pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
      // A tool that starts a long child and is then killed outright.
      const std::vector<std::string> argv = {"sh", "-c", "echo $$ > \"$0.part\" && mv \"$0.part\" \"$0\" && exec sleep 60",
                                             pid_file};
      ChildInput input;
      if (with_input) input.start(argv);
      else run_program(argv);
      pause();
      _exit(0);
    }
    pid_t child = 0;
    for (int i = 0; i < 500 && !(std::ifstream(pid_file) >> child); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GT(child, 0) << "the child never started";
    std::this_thread::sleep_for(100ms);  // into sleep
    kill(parent, SIGKILL);
    waitpid(parent, nullptr, 0);
    // The orphan is ours to wait for now: it should end by the parent-death signal, at once.
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 500 && ended == 0; ++i) {
      ended = waitpid(child, &status, WNOHANG);
      if (ended == 0) std::this_thread::sleep_for(10ms);
    }
    if (ended == 0) kill(child, SIGKILL), waitpid(child, nullptr, 0);
    EXPECT_EQ(ended, child) << (with_input ? "ChildInput" : "run_program") << ": the child outlived its parent";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}

}  // namespace
