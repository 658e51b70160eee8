#pragma once
// The show writes no log. Once it is set up, nothing it runs may print either: the libraries
// under it (libpng through SDL_image above all, with "libpng error: IDAT: CRC error" for a
// damaged PNG and "libpng warning: iCCP: …" for many sound ones) print to the terminal and
// offer no hook to route their messages through. So SDL's log goes nowhere, and the process's
// standard output and error are pointed at /dev/null. Set-up failures before this are reported
// as usual, and a sanitizer's report (a crash, not a log) still reaches the terminal.
//
// Dying is not normal operation: the original standard error is kept, and std::terminate, abort
// and the fatal signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL) write one line there ("hallshow: ended
// by SIGSEGV") before the process ends as it would have, with the same signal.
void silence_output();
