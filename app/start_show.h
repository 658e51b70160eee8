#pragma once
// The show's start-up, with the GL context current: music and tracks, glyphs, photos (with their
// loading frames), then the music starts. No window event is taken while it runs.
void start_show();

// All of start_show but the music's start: nothing plays yet, so a caller can first move or pause
// the music (music_clock.h) and then call start_music.
void prepare_show();
