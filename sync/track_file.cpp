// The track file reader.
//
// Format notes: little-endian, no header. A signed 32-bit key count N, then N keys packed at
// 9 bytes each: row (signed 32-bit), value (IEEE 754 single), type (signed 8-bit, widened).
// Nothing in the file says how long it really is, so the count is checked against the file's
// size before anything is allocated: a damaged count can neither claim memory the file cannot
// fill nor leave keys of garbage behind.
#include <bit>
#include <cstring>
#include <vector>

#include "png/regular_file.h"
#include "sync/sync_track.h"

namespace {

constexpr uint64_t COUNT_BYTES = 4;  // fixed by the format
constexpr uint64_t KEY_BYTES = 9;    // fixed by the format: row 4, value 4, type 1

uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

TrackKey parse_key(const unsigned char* p) {
  TrackKey key;
  key.row = int32_t(le32(p));
  key.value = std::bit_cast<float>(le32(p + 4));
  key.type = int8_t(p[8]);  // sign-extended: 0xFF is -1
  return key;
}

}  // namespace

int load_track_file(const std::string& path, SyncTrack& track) {
  track.keys.clear();
  const RegularFile file(path);  // a FIFO or a device in its place is refused, not waited on
  if (!file.is_open()) return TRACK_FILE_UNOPENABLE;  // missing, no permission, or no regular file

  unsigned char count_bytes[COUNT_BYTES];
  if (file.read_at(0, count_bytes, COUNT_BYTES) != COUNT_BYTES) return TRACK_FILE_SHORT;  // not even a whole count
  const int32_t count = int32_t(le32(count_bytes));
  if (count < 0) return TRACK_FILE_NEGATIVE_COUNT;  // no keys rather than a huge allocation

  // The keys the file can hold at most, from its size.
  const uint64_t room = (file.size() - COUNT_BYTES) / KEY_BYTES;
  const uint64_t wanted = uint64_t(count) < room ? uint64_t(count) : room;
  if (wanted > uint64_t(MAX_TRACK_KEYS)) return TRACK_FILE_TOO_MANY_KEYS;

  std::vector<unsigned char> bytes(size_t(wanted * KEY_BYTES));
  // Whole keys only, should the file shrink meanwhile.
  const uint64_t got = file.read_at(COUNT_BYTES, bytes.data(), bytes.size()) / KEY_BYTES;
  track.keys.reserve(size_t(got));
  for (uint64_t i = 0; i < got; ++i) track.keys.push_back(parse_key(bytes.data() + i * KEY_BYTES));
  return got < uint64_t(count) ? TRACK_FILE_SHORT : TRACK_FILE_READ;
}

const char* describe_track_file_result(int result) {
  switch (result) {
    case TRACK_FILE_READ: return "track file read";
    case TRACK_FILE_UNOPENABLE: return "track file cannot be opened";
    case TRACK_FILE_SHORT: return "track file holds fewer keys than its count; the whole keys were kept";
    case TRACK_FILE_NEGATIVE_COUNT: return "track file has a negative key count; no keys";
    case TRACK_FILE_TOO_MANY_KEYS: return "track file holds more keys than a track may (262144); no keys";
  }
  return "unknown track file result";
}
