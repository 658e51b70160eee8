// The process-wide music, opened once at start-up and never released: the show ends with an
// immediate exit, and the sound ends with it.
#include "show/music_clock.h"

#include "show/music_player.h"

namespace {

MusicPlayer* music = nullptr;

MusicPlayer& the_music() {
  if (!music) music = new MusicPlayer();
  return *music;
}

}  // namespace

double seconds_to_row(double seconds) { return seconds * ROW_RATE; }

void open_music() { the_music().open("e12.mp3"); }

// Without open_music first this starts the silent clock, so the show still advances.
void start_music() { the_music().start(); }

double current_row() { return music ? seconds_to_row(music->seconds()) : 0.0; }

bool music_is_audible() { return music && music->audible(); }

double music_length_seconds() { return music ? music->length_seconds() : 0.0; }

void pause_music() { the_music().pause(); }

void resume_music() { the_music().resume(); }

bool music_is_paused() { return music && music->paused(); }

void seek_music(double seconds) { the_music().seek(seconds); }

double music_seconds() { return music ? music->seconds() : 0.0; }
