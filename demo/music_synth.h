#pragma once
// The demo's music, "e12": an original piece in A minor at 120 beats a minute, so a beat is half a
// second, ten rows of the show, and a bar of four beats is 40 rows. It is synthesised here note by
// note (drums, bass, pad, arpeggio, lead) and ends on a ringing chord at MUSIC_END_SECONDS.
#include <cstdint>
#include <vector>

inline constexpr int MUSIC_RATE = 44100;
inline constexpr double MUSIC_BPM = 120.0;
inline constexpr int MUSIC_BARS = 36;                  // 72 s of music, the last bar a closing chord
inline constexpr double MUSIC_END_SECONDS = 71.5;      // the closing chord has died away
inline constexpr double MUSIC_LENGTH_SECONDS = 72.5;   // with a little silence after it

// How a test song departs from the demo's arrangement.
enum class Groove {
  Plain,        // the demo's own
  BusyOffbeats  // hats on every off-beat and sixteenth louder than anything but the kick, all along:
                // a tracker that hears them lands between the beats
};

// Interleaved stereo, 16-bit signed, MUSIC_LENGTH_SECONDS long. Other tempos and lengths play the
// same arrangement, cut short after `bars` bars (the last the closing chord), its body (bars 5 to
// 34) played again and again in songs longer than the demo's: test songs for beat tracking.
std::vector<int16_t> synthesise_music(double bpm = MUSIC_BPM, int bars = MUSIC_BARS, Groove groove = Groove::Plain);
