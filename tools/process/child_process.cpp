#include "tools/process/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

// In the child between fork and exec, where only async-signal-safe calls may be made: tells the
// parent why the program did not start, and ends.
[[noreturn]] void child_failed(int report) {
  const int error = errno;
  [[maybe_unused]] const ssize_t written = ::write(report, &error, sizeof error);
  _exit(127);
}

// Starts argv with `in`, `out` and `err` as its standard input, output and error (-1: ours, as they
// are). Its process id, or -1 when it could not be started. The descriptors given are the caller's
// to close.
pid_t start_child(const std::vector<std::string>& argv, int in, int out, int err) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // A failed exec reports its errno through this pipe; a successful one closes it unwritten.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return -1;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // The signal follows the thread that forked: every caller waits for its child before it returns.
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);  // parent already gone
    const int fds[3] = {in, out, err};
    for (int i = 0; i < 3; ++i) {
      if (fds[i] < 0) continue;
      // Every descriptor here closes on exec; dup2 onto itself would leave that flag set.
      if ((fds[i] == i ? fcntl(i, F_SETFD, 0) : dup2(fds[i], i)) < 0) child_failed(report[1]);
    }
    execvp(args[0], args.data());
    child_failed(report[1]);
  }
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    return -1;
  }
  int error = 0;
  ssize_t got;
  while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got > 0) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return -1;
  }
  return pid;
}

// The child's exit code once it has ended, -1 when a signal ended it. `stop`, asked each time a
// signal interrupts the wait, ends it first by saying true. `usage`, when given, gets what it used.
int wait_for(pid_t pid, bool (*stop)(), bool& killed, rusage* usage = nullptr) {
  int status = 0;
  while (wait4(pid, &status, 0, usage) < 0) {
    if (errno != EINTR) return -1;
    if (!killed && stop && stop()) kill(pid, SIGTERM), killed = true;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ChildResult run_program(const std::vector<std::string>& argv, bool (*stop)()) {
  ChildResult result;
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return result;
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(out_pipe[0]), close(out_pipe[1]);
    return result;
  }
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = nothing < 0 ? -1 : start_child(argv, nothing, out_pipe[1], err_pipe[1]);
  if (nothing >= 0) close(nothing);
  close(out_pipe[1]), close(err_pipe[1]);
  if (pid < 0) {
    close(out_pipe[0]), close(err_pipe[0]);
    result.errors = (argv.empty() ? std::string("a program") : argv[0]) + " cannot be started";
    return result;
  }
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  int open_fds = 2;
  bool killed = false;
  char buf[4096];
  while (open_fds > 0) {
    if (!killed && stop && stop()) {
      kill(pid, SIGTERM);
      killed = true;
    }
    const int n = poll(fds, 2, 200);
    if (n < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got > 0) {
        std::string& to = i == 0 ? result.output : result.errors;
        if (to.size() < (1u << 20)) to.append(buf, static_cast<size_t>(got));
      } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      }
    }
  }
  for (pollfd& f : fds)
    if (f.fd >= 0) close(f.fd);
  result.exit_code = wait_for(pid, stop, killed);
  result.interrupted = killed || (stop && stop());
  return result;
}

bool ChildInput::start(const std::vector<std::string>& argv) {
  finish();
  int in_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0) return false;
  pid_ = start_child(argv, in_pipe[0], -1, -1);
  close(in_pipe[0]);
  if (pid_ < 0) {
    close(in_pipe[1]);
    return false;
  }
#ifdef F_SETPIPE_SZ
  // A larger pipe (the most an unprivileged process may ask for without changing the system's
  // limit) takes a video frame in a few writes instead of dozens; a refusal leaves it as it was.
  fcntl(in_pipe[1], F_SETPIPE_SZ, 1 << 20);
#endif
  input_ = in_pipe[1];
  return true;
}

bool ChildInput::write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0 && input_ >= 0) {
    const ssize_t n = ::write(input_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n, size -= static_cast<size_t>(n);
  }
  return size == 0;
}

int ChildInput::finish() {
  if (input_ >= 0) close(input_), input_ = -1;
  if (pid_ < 0) return -1;
  bool killed = false;
  const int code = wait_for(pid_, nullptr, killed, &usage_);
  pid_ = -1;
  return code;
}

bool ChildOutput::start(const std::vector<std::string>& argv) {
  finish();
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return false;
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(out_pipe[0]), close(out_pipe[1]);
    return false;
  }
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  pid_ = nothing < 0 ? -1 : start_child(argv, nothing, out_pipe[1], err_pipe[1]);
  if (nothing >= 0) close(nothing);
  close(out_pipe[1]), close(err_pipe[1]);
  if (pid_ < 0) {
    close(out_pipe[0]), close(err_pipe[0]);
    return false;
  }
  output_ = out_pipe[0], error_ = err_pipe[0];
  ended_ = broken_ = false;
  errors_.clear();
  return true;
}

size_t ChildOutput::read(void* data, size_t size) {
  char buf[4096];
  while (output_ >= 0 && size > 0) {
    // Its errors are read as they come, so that a child that says much cannot block on them.
    pollfd fds[2] = {{output_, POLLIN, 0}, {error_, POLLIN, 0}};
    if (poll(fds, error_ >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) return 0;  // a signal: the caller decides whether to go on
      broken_ = true;
      break;
    }
    if (error_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      const ssize_t got = ::read(error_, buf, sizeof buf);
      if (got > 0 && errors_.size() < (1u << 16)) errors_.append(buf, static_cast<size_t>(got));
      if (got == 0 || (got < 0 && errno != EINTR)) close(error_), error_ = -1;
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t got = ::read(output_, data, size);
      if (got > 0) return static_cast<size_t>(got);
      if (got < 0 && errno == EINTR) return 0;
      (got == 0 ? ended_ : broken_) = true;
      break;
    }
  }
  return 0;
}

int ChildOutput::finish() {
  if (pid_ < 0) return -1;
  if (!ended_) kill(pid_, SIGTERM);
  if (output_ >= 0) close(output_), output_ = -1;
  // The rest of what it says on its way out.
  char buf[4096];
  for (ssize_t got; error_ >= 0 && (got = ::read(error_, buf, sizeof buf)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    if (errors_.size() < (1u << 16)) errors_.append(buf, static_cast<size_t>(got));
  }
  if (error_ >= 0) close(error_), error_ = -1;
  bool killed = false;
  const int code = wait_for(pid_, nullptr, killed);
  pid_ = -1;
  return ended_ ? code : -1;
}
