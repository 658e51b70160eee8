#pragma once
// What the show's MP3 sounds like to a beat tracker: the file decoded as the player decodes it
// (libmpg123, so the times match the show's clock), mono at 44.1 kHz, through aubio's tempo and
// onset detectors, with a loudness and a low-band level for every frame. Memory stays bounded
// however long the song: the audio streams through in small blocks.
#include <functional>
#include <string>

#include "tools/make/music_map.h"

// `progress` gets the fraction done now and then; returning false stops the analysis (false).
bool analyse_audio(const std::string& mp3_path, AudioAnalysis& out, std::string& why,
                   const std::function<bool(double)>& progress);
