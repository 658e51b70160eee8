#include "tools/make/interruption.h"

#include <signal.h>

#include <initializer_list>

volatile std::sig_atomic_t interrupted_by = 0;

namespace {

void on_signal(int sig) {
  if (interrupted_by == 0) {
    interrupted_by = sig;
    return;
  }
  signal(sig, SIG_DFL);  // both async-signal-safe
  raise(sig);
}

}  // namespace

void catch_interruptions() {
  struct sigaction sa = {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}
