#pragma once
// The whole life of the show: window and context, letterbox, fullscreen, start-up, frame loop.
// Returns (with 1) only when the window, its GL context or the fullscreen mode cannot be had;
// every other way out ends the process with exit code 0 from inside.
int run_show();
