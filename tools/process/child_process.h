#pragma once
// Other programs (ffprobe, ffmpeg) run by the tools: started from an argument list, never through a
// shell, so that no file name needs quoting or can be read as a command. A child is sent SIGTERM
// should the program that started it die first, so that none is left running on its own.
#include <sys/resource.h>

#include <cstddef>
#include <string>
#include <vector>

struct ChildResult {
  int exit_code = -1;       // -1: could not be started, or killed
  bool interrupted = false;  // ended early because `stop` said so
  std::string output;       // its standard output
  std::string errors;       // its standard error
};

// Runs argv[0] (found on PATH) with nothing on its standard input and waits for it, keeping what it
// prints (up to 1 MiB of each). `stop`, asked while it runs, ends it early (SIGTERM) by saying true.
ChildResult run_program(const std::vector<std::string>& argv, bool (*stop)() = nullptr);

// A program reading what we write to its standard input; its output and errors go where ours go.
class ChildInput {
 public:
  ChildInput() = default;
  ChildInput(const ChildInput&) = delete;
  ChildInput& operator=(const ChildInput&) = delete;
  ~ChildInput() { finish(); }

  // False when it cannot be started.
  bool start(const std::vector<std::string>& argv);
  // All of it, or false once the child no longer reads (with SIGPIPE ignored; otherwise the signal
  // ends us first).
  bool write(const void* data, size_t size);
  // Ends its input and waits for it: its exit code, -1 when it was killed or never started.
  int finish();
  // The processor time and memory it used, once finish has waited for it.
  const rusage& usage() const { return usage_; }

 private:
  rusage usage_{};
  int pid_ = -1;
  int input_ = -1;  // the pipe to its standard input
};

// A program whose standard output is read as it comes (a decoder's samples), with nothing on its
// standard input; what it says on standard error is kept (up to 64 KiB).
class ChildOutput {
 public:
  ChildOutput() = default;
  ChildOutput(const ChildOutput&) = delete;
  ChildOutput& operator=(const ChildOutput&) = delete;
  ~ChildOutput() { finish(); }

  // False when it cannot be started.
  bool start(const std::vector<std::string>& argv);
  // Up to `size` bytes of its output, waiting for some; 0 at its end, on an error (then done() is
  // true) or when a signal came (then it is not).
  size_t read(void* data, size_t size);
  bool done() const { return output_ < 0 || ended_ || broken_; }
  // Waits for it, ending it first (SIGTERM) when its output was not read to the end: its exit
  // code, -1 when it was killed or never started.
  int finish();
  const std::string& errors() const { return errors_; }

 private:
  int pid_ = -1;
  int output_ = -1, error_ = -1;
  bool ended_ = false;   // its output read to the end
  bool broken_ = false;  // its output could not be read
  std::string errors_;
};
