#pragma once
// The show writes no log. Once it is set up, nothing it runs may print either: the libraries
// under it (libpng through SDL_image above all, with "libpng error: IDAT: CRC error" for a
// damaged PNG and "libpng warning: iCCP: …" for many sound ones) print to the terminal and
// offer no hook to route their messages through. So SDL's log goes nowhere, and the process's
// standard output and error are pointed at /dev/null. Set-up failures before this are reported
// as usual, and a sanitizer's report (a crash, not a log) still reaches the terminal.
void silence_output();
