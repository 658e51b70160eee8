#include "tests/support/bounded_call.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory aside (its quarantine, 256 MiB) and maps its allocator's
// regions in large pieces: room for both above what the call itself may take.
constexpr size_t SANITIZER_ROOM = size_t(768) << 20;
#else
constexpr size_t SANITIZER_ROOM = 0;
#endif

// The process's data segment and private writable mappings now, which is what RLIMIT_DATA limits
// (under AddressSanitizer that includes its shadow memory, hence a limit above it, not absolute).
size_t data_bytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  size_t kib = 0;
  while (status >> key) {
    if (key == "VmData:") {
      status >> kib;
      return kib * 1024;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

}  // namespace

bool returns_within(const std::function<void()>& call, unsigned seconds, size_t extra_bytes) {
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    const rlim_t limit = data_bytes() + extra_bytes + SANITIZER_ROOM;
    const rlimit data{limit, limit};
    setrlimit(RLIMIT_DATA, &data);
    alarm(seconds);  // its default action ends the child
    try {
      call();
    } catch (...) {
      _exit(2);
    }
    _exit(0);  // no exit handlers: the parent's leak check and files are not the child's
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
