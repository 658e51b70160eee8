#pragma once
// What a song sounds like to a beat tracker: mono at 44.1 kHz through aubio's tempo and onset
// detectors, with a loudness, a low-band level and the mel bands for every frame. The show's MP3 is
// decoded as the player decodes it (libmpg123, so the times match the show's clock); a song of a
// playlist is decoded by ffmpeg before it is joined to the others (the MP3 made from them keeps
// its timing: the encoder's delay is recorded in it and skipped by the player). Memory stays
// bounded however long the song: the audio streams through in small blocks.
#include <functional>
#include <string>

#include "tools/make/music/music_map.h"

// `progress` gets the fraction done now and then; returning false stops the analysis (false).
bool analyse_audio(const std::string& mp3_path, AudioAnalysis& out, std::string& why,
                   const std::function<bool(double)>& progress);

// Any audio ffmpeg reads, decoded by ffmpeg; `seconds`, its length as far as known, only for the
// progress. False with `why`, or with `why` empty when interrupted.
bool analyse_song(const std::string& path, double seconds, AudioAnalysis& out, std::string& why,
                  const std::function<bool(double)>& progress);
