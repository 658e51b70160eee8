#pragma once
// The binary track file the show reads: little-endian int32 key count, then per key an int32 row,
// a float32 value and an int8 interpolation code, packed at 9 bytes a key, no header.
#include <string>
#include <string_view>
#include <vector>
#include "sync/sync_track.h"

inline constexpr size_t TRACK_KEY_BYTES = 9;

// The file's bytes for these keys. Codes must fit in a signed byte (every KeyType does).
std::string encode_track_file(const std::vector<TrackKey>& keys);

// Strict reading for the tool: the file must be exactly what encode_track_file writes for some
// valid track (whole keys, known interpolations, increasing rows). On failure `error` says why.
bool decode_track_file(std::string_view bytes, std::vector<TrackKey>& keys, std::string& error);

// "kestos/base_<name>.kesto", the file the show opens for a track, relative to the show folder.
std::string track_file_name(std::string_view track_name);
