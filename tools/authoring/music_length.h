#pragma once
// How long a show's music plays, for the authoring default that ends a show with its music.
#include <cstdint>
#include <optional>
#include <string>

// The last whole row the music of `mp3_path` reaches (its length in rows, rounded down), counted
// over every frame of the file; none when the file is missing or holds no MPEG audio.
std::optional<int32_t> music_end_row(const std::string& mp3_path);
