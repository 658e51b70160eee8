#pragma once
// The show's start-up, with the GL context current: music and tracks, glyphs, photos (with their
// loading frames), then the music starts. No window event is taken while it runs.
void start_show();
