#include "app/silence_output.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>

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

int terminal = -1;  // the original standard error
volatile sig_atomic_t said = 0;  // the one line is written once, whichever path comes first

void no_log(void*, int, SDL_LogPriority, const char*) {}

// Async-signal-safe: write(2) only, on text prepared beforehand or given as literals.
void say(const char* what, const char* detail) {
  if (terminal < 0 || said) return;
  said = 1;
  const char* parts[] = {program_invocation_short_name, ": ", what, detail, "\n"};
  for (const char* part : parts) {
    for (size_t left = std::strlen(part); left > 0;) {
      const ssize_t n = write(terminal, part, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      part += n;
      left -= size_t(n);
    }
  }
}

const char* signal_name(int sig) {
  switch (sig) {
    case SIGABRT: return "SIGABRT (abort)";
    case SIGSEGV: return "SIGSEGV (invalid memory access)";
    case SIGBUS: return "SIGBUS (bus error)";
    case SIGFPE: return "SIGFPE (arithmetic fault)";
    case SIGILL: return "SIGILL (illegal instruction)";
    default: return "a fatal signal";
  }
}

void on_fatal_signal(int sig) {
  const int saved = errno;
  say("ended by ", signal_name(sig));
  errno = saved;
  // The handler was reset on entry (SA_RESETHAND): raised again, the signal ends the process as
  // it would have without us, core dump and exit status included.
  raise(sig);
}

[[noreturn]] void on_terminate() {
  const char* what = "";
  if (std::exception_ptr e = std::current_exception()) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      what = ex.what();
    } catch (...) {
      what = "an exception of unknown type";
    }
    say("terminated by an uncaught exception: ", what);
  } else {
    say("terminated", "");
  }
  std::abort();
}

void catch_fatal(int sig) {
  struct sigaction action{};
  action.sa_handler = on_fatal_signal;
  action.sa_flags = SA_RESETHAND | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

// A stack overflow is a SIGSEGV with no stack left to run a handler on: the main thread gets a
// stack of its own for it.
void give_handlers_a_stack() {
  static char stack[64 * 1024];
  stack_t alternate{};
  alternate.ss_sp = stack;
  alternate.ss_size = sizeof stack;
  sigaltstack(&alternate, nullptr);
}

}  // namespace

void silence_output() {
  SDL_LogSetOutputFunction(no_log, nullptr);
  std::fflush(stdout);
  std::fflush(stderr);
  const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (nowhere < 0) return;
  terminal = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
#ifdef HALLSHOW_SANITIZED
  if (terminal >= 0) __sanitizer_set_report_fd(reinterpret_cast<void*>(intptr_t(terminal)));
#endif
  if (terminal >= 0) {
    std::set_terminate(on_terminate);
    give_handlers_a_stack();
    catch_fatal(SIGABRT);
#ifndef HALLSHOW_SANITIZED  // the sanitizer reports these itself, in full
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) catch_fatal(sig);
#endif
  }
  dup2(nowhere, STDOUT_FILENO);
  dup2(nowhere, STDERR_FILENO);
  close(nowhere);
}
