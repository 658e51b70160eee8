#pragma once
// One complete loading frame: cleared to black, a white glyph string centred, presented.
void show_loading_frame(const char* text);
