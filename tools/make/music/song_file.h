#pragma once
// The song as the show plays it: an MP3 is copied byte for byte; other audio is encoded to MP3
// (libmp3lame VBR, about 190 kbit/s) by ffmpeg. ffprobe says what the file is.
#include <string>
#include <vector>

// Shorter than this, the beat tracker has nothing to go by and a show has no room to move.
inline constexpr double MIN_SONG_SECONDS = 10.0;
// Longer than this is no song but a mix or a recording.
inline constexpr double MAX_SONG_SECONDS = 15.0 * 60.0;
// A playlist's songs overlap by this much, the one fading out as the next fades in.
inline constexpr double CROSSFADE_SECONDS = 2.0;

struct SongInfo {
  bool mp3 = false;
  std::string codec;  // as ffprobe names it
  double seconds = 0;
};

// False, with `why` for the user, when the file is not audio, too short or too long.
bool probe_song(const std::string& path, SongInfo& info, std::string& why);

// Writes `target`. False with `why`; on interruption, false with `why` empty.
bool make_song_file(const std::string& path, const SongInfo& info, const std::string& target, std::string& why);

// The songs joined in order into one MP3 at `target`, each crossfaded into the next over
// `crossfade` seconds; with `length` above 0 cut there, faded out over its last `fade` seconds.
// False with `why`; when `stop` says so (asked now and then), false with `why` empty.
bool join_song_files(const std::vector<std::string>& paths, double crossfade, double length, double fade,
                     const std::string& target, std::string& why, bool (*stop)());
