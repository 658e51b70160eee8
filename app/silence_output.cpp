#include "app/silence_output.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HALLSHOW_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define HALLSHOW_SANITIZED 1
#endif
#ifdef HALLSHOW_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

void no_log(void*, int, SDL_LogPriority, const char*) {}

}  // namespace

void silence_output() {
  SDL_LogSetOutputFunction(no_log, nullptr);
  std::fflush(stdout);
  std::fflush(stderr);
  const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (nowhere < 0) return;
#ifdef HALLSHOW_SANITIZED
  const int terminal = dup(STDERR_FILENO);
  if (terminal >= 0) __sanitizer_set_report_fd(reinterpret_cast<void*>(intptr_t(terminal)));
#endif
  dup2(nowhere, STDOUT_FILENO);
  dup2(nowhere, STDERR_FILENO);
  close(nowhere);
}
