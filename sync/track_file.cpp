// The track file reader.
//
// Format notes: little-endian, no header. A signed 32-bit key count N, then N keys packed at
// 9 bytes each: row (signed 32-bit), value (IEEE 754 single), type (signed 8-bit, widened).
// Nothing in the file says how long it really is, so the count is checked against the file's
// size before anything is allocated: a damaged count can neither claim memory the file cannot
// fill nor leave keys of garbage behind.
#include <bit>
#include <cstring>
#include <fstream>

#include "sync/sync_track.h"

namespace {

constexpr std::streamoff COUNT_BYTES = 4;  // fixed by the format
constexpr std::streamoff KEY_BYTES = 9;    // fixed by the format: row 4, value 4, type 1

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
  std::ifstream in(path, std::ios::binary);
  if (!in) return TRACK_FILE_UNOPENABLE;  // missing, or no permission

  unsigned char count_bytes[COUNT_BYTES];
  in.read(reinterpret_cast<char*>(count_bytes), COUNT_BYTES);
  if (in.gcount() != COUNT_BYTES) {
    if (in.bad()) return TRACK_FILE_UNOPENABLE;  // opened but not readable, e.g. a directory
    return TRACK_FILE_SHORT;                     // not even a whole count
  }
  const int32_t count = int32_t(le32(count_bytes));
  if (count < 0) return TRACK_FILE_NEGATIVE_COUNT;  // no keys rather than a huge allocation

  // The keys the file can hold at most, from its size.
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(COUNT_BYTES, std::ios::beg);
  if (size < COUNT_BYTES || !in) return TRACK_FILE_UNOPENABLE;  // not a seekable file
  const std::streamoff room = (size - COUNT_BYTES) / KEY_BYTES;
  const std::streamoff wanted = count < room ? count : room;

  std::string bytes(size_t(wanted * KEY_BYTES), '\0');
  in.read(bytes.data(), std::streamsize(bytes.size()));
  const std::streamoff got = in.gcount() / KEY_BYTES;  // whole keys only, should the file shrink meanwhile
  track.keys.reserve(size_t(got));
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::streamoff i = 0; i < got; ++i) track.keys.push_back(parse_key(p + i * KEY_BYTES));
  return got < count ? TRACK_FILE_SHORT : TRACK_FILE_READ;
}

const char* describe_track_file_result(int result) {
  switch (result) {
    case TRACK_FILE_READ: return "track file read";
    case TRACK_FILE_UNOPENABLE: return "track file cannot be opened";
    case TRACK_FILE_SHORT: return "track file holds fewer keys than its count; the whole keys were kept";
    case TRACK_FILE_NEGATIVE_COUNT: return "track file has a negative key count; no keys";
  }
  return "unknown track file result";
}
