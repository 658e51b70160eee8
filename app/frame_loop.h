#pragma once
// The running show: one window event per iteration if there is one, else one frame; never both.
// Ends the process on a quit input or at the end of the show.

[[noreturn]] void run_frame_loop();

// Exit code 0 at once, with nothing released: the GL context, the audio device and the display
// mode go with the process.
[[noreturn]] void end_process();
