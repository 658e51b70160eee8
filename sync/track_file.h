#pragma once
// The track file: one track's keys as the show reads them, and as the tools write them.
//
// Format: little-endian, no header. A signed 32-bit key count N, then N keys packed at 9 bytes
// each: row (signed 32-bit), value (IEEE 754 single), type (signed 8-bit, widened).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sync/sync_track.h"

inline constexpr size_t TRACK_KEY_BYTES = 9;

// The most keys a track may hold: a key on every row for over three and a half hours, far above
// any show. The file tells no total of its own, so a file claiming more (a damaged count in a sparse
// file takes no disk, and would take gigabytes of memory) is refused, by both readers.
inline constexpr int32_t MAX_TRACK_KEYS = int32_t(1) << 18;

// Results of load_track_file. Whatever the result, the track holds only whole keys read from the file.
enum TrackFileResult : int {
  TRACK_FILE_READ = 0,            // every key the count promises was read
  TRACK_FILE_UNOPENABLE = 1,      // missing or unreadable; no keys
  TRACK_FILE_SHORT = 2,           // fewer bytes than the count promises; the whole keys present are kept
  TRACK_FILE_NEGATIVE_COUNT = 3,  // the count is below zero; no keys
  TRACK_FILE_TOO_MANY_KEYS = 4,   // the count and the file's size both pass MAX_TRACK_KEYS; no keys
};
// The show's reading: 0 when the file was opened and read, 1 when it cannot be opened (the track
// keeps no keys) or is no regular file (a FIFO would hold the reading for ever, a device never
// end); 2 to 4 for the damaged files above. The track's previous keys are replaced.
int load_track_file(const std::string& path, SyncTrack& track);
// One line naming a TrackFileResult, for tools and test messages.
const char* describe_track_file_result(int result);

// The file's bytes for these keys. Codes must fit in a signed byte (every KeyType does).
std::string encode_track_file(const std::vector<TrackKey>& keys);

// Strict reading for the tools: the file must be exactly what encode_track_file writes for some
// valid track (whole keys, known interpolations, increasing rows). On failure `error` says why.
bool decode_track_file(std::string_view bytes, std::vector<TrackKey>& keys, std::string& error);

// "kestos/base_<name>.kesto", the file the show opens for a track (track_file_path), relative to
// the show folder.
std::string track_file_name(std::string_view track_name);
