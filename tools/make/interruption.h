#pragma once
// Ctrl-C and termination: caught, so that whatever is half made is removed before the program ends.
// The handler only sets a flag; the work checks it between steps and in its loops. A second one
// ends the program at once, as if none were caught: a library that retries an interrupted read
// never gets to the next check. The temporary folder then left is removed by the next run.
#include <csignal>

extern volatile std::sig_atomic_t interrupted_by;  // the signal's number, 0 while none came

// Installs the handlers for SIGINT, SIGTERM and SIGHUP (without SA_RESTART, so that waiting for a
// child process ends when one arrives).
void catch_interruptions();
inline bool interrupted() { return interrupted_by != 0; }
