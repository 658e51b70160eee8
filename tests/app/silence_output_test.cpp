// After silence_output the show prints nothing in normal operation, yet dying still says why, in
// one line on the original standard error, and the process still ends by the same signal.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "app/silence_output.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif
#else
constexpr bool SANITIZED = false;
#endif

struct Ending {
  std::string stderr_text;
  int status = 0;
};

// An exception leaving this ends the process through std::terminate, as one leaving a thread or
// main would, rather than unwinding into the test framework.
template <class F>
void without_unwinding(F& die) noexcept {
  die();
}

// Runs `die` in a child whose standard error is a pipe, after silence_output.
template <class F>
Ending run_silenced(F die) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    dup2(fds[1], STDERR_FILENO);
    close(fds[1]);
    signal(SIGABRT, SIG_DFL);
    silence_output();
    std::fprintf(stderr, "libpng warning: iCCP: known incorrect sRGB profile\n");
    std::fflush(stderr);
    without_unwinding(die);
    _exit(0);
  }
  close(fds[1]);
  Ending e;
  char buffer[512];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) e.stderr_text.append(buffer, size_t(n));
  close(fds[0]);
  waitpid(child, &e.status, 0);
  return e;
}

TEST(SilenceOutput, NormalOperationPrintsNothing) {
  const Ending e = run_silenced([] { std::puts("nothing"); });
  EXPECT_EQ(e.stderr_text, "");
  ASSERT_TRUE(WIFEXITED(e.status));
  EXPECT_EQ(WEXITSTATUS(e.status), 0);
}

TEST(SilenceOutput, DyingSaysWhyInOneLine) {
  const struct {
    const char* name;
    void (*die)();
    int signal;
    const char* says;
  } cases[] = {
      {"terminate", [] { throw std::runtime_error("no memory for photo 17"); }, SIGABRT,
       "terminated by an uncaught exception: no memory for photo 17"},
      {"abort", [] { std::abort(); }, SIGABRT, "ended by SIGABRT"},
      {"segv", [] { raise(SIGSEGV); }, SIGSEGV, "ended by SIGSEGV"},
      {"fpe", [] { raise(SIGFPE); }, SIGFPE, "ended by SIGFPE"},
  };
  for (const auto& c : cases) {
    if (SANITIZED && c.signal != SIGABRT) continue;  // the sanitizer reports those itself
    const Ending e = run_silenced(c.die);
    EXPECT_NE(e.stderr_text.find(c.says), std::string::npos) << c.name << ": " << e.stderr_text;
    if (!SANITIZED) {
      EXPECT_EQ(std::count(e.stderr_text.begin(), e.stderr_text.end(), '\n'), 1) << c.name << ": " << e.stderr_text;
    }
    EXPECT_EQ(e.stderr_text.find("libpng"), std::string::npos) << c.name;
    ASSERT_TRUE(WIFSIGNALED(e.status)) << c.name;
    EXPECT_EQ(WTERMSIG(e.status), c.signal) << c.name;
  }
}

}  // namespace
