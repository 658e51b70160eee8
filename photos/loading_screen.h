#pragma once
// One complete loading frame: cleared to black, a white glyph string centred, presented by calling
// `present` (the caller's swap).
void show_loading_frame(const char* text, void (*present)());
