#include "tools/studio/show_music.h"

#include "show/music_clock.h"

double ShowMusic::seconds() { return music_seconds(); }
void ShowMusic::pause() { pause_music(); }
void ShowMusic::resume() { resume_music(); }
void ShowMusic::seek(double seconds) { seek_music(seconds); }
double ShowMusic::length_seconds() { return music_length_seconds(); }
