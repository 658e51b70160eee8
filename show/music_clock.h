#pragma once
// The show's only time base: the music's audible playback position, as a timeline row.

inline constexpr double ROW_RATE = 20.0;  // rows per second: one row is 50 ms of music

void open_music();    // audio output and the "e12.mp3" stream; nothing plays yet
void start_music();   // plays the stream once from its start (or starts the silent clock)
double current_row(); // seconds of music heard so far × ROW_RATE, never rounded

// For tools and tests.
double seconds_to_row(double seconds);  // seconds × ROW_RATE
bool music_is_audible();                // false when the show runs on the silent clock
double music_length_seconds();          // 0 when unknown or silent

// For the authoring tools: the music held, moved and let go again. Each works before start_music
// as well, and then sets where and how the music starts.
void pause_music();                // silence, the position held
void resume_music();               // the sound from the held position
bool music_is_paused();
void seek_music(double seconds);   // exact: current_row() reads seconds × ROW_RATE at once
double music_seconds();            // what current_row() reads, in seconds
