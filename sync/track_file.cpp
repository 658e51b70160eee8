// The track file, read and written.
//
// Nothing in the file says how long it really is, so the show's reader checks the count against
// the file's size before anything is allocated: a damaged count can neither claim memory the file
// cannot fill nor leave keys of garbage behind. The tools' strict reader refuses anything the
// writer would not have written.
#include "sync/track_file.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "png/regular_file.h"

namespace {

constexpr uint64_t COUNT_BYTES = 4;                // fixed by the format
constexpr uint64_t KEY_BYTES = TRACK_KEY_BYTES;    // fixed by the format: row 4, value 4, type 1

uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void put_le32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
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

std::string encode_track_file(const std::vector<TrackKey>& keys) {
  std::string out;
  out.reserve(COUNT_BYTES + TRACK_KEY_BYTES * keys.size());
  put_le32(out, static_cast<uint32_t>(keys.size()));
  for (const TrackKey& k : keys) {
    put_le32(out, static_cast<uint32_t>(k.row));
    put_le32(out, std::bit_cast<uint32_t>(k.value));
    out.push_back(static_cast<char>(static_cast<int8_t>(k.type)));
  }
  return out;
}

bool decode_track_file(std::string_view bytes, std::vector<TrackKey>& keys, std::string& error) {
  keys.clear();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < COUNT_BYTES) {
    error = "too short for a key count (" + std::to_string(bytes.size()) + " bytes)";
    return false;
  }
  const auto count = static_cast<int32_t>(le32(p));
  if (count < 0) {
    error = "negative key count " + std::to_string(count);
    return false;
  }
  // Compare in 64 bits: a large count must not wrap into a plausible size.
  const uint64_t expected = COUNT_BYTES + uint64_t(TRACK_KEY_BYTES) * uint64_t(count);
  if (bytes.size() != expected) {
    const uint64_t present = (bytes.size() - COUNT_BYTES) / TRACK_KEY_BYTES;
    if (bytes.size() < expected)
      error = std::to_string(count) + (count == 1 ? " key" : " keys") + " promised, " + std::to_string(present) +
              " present";
    else
      error = std::to_string(bytes.size() - expected) + (bytes.size() - expected == 1 ? " byte" : " bytes") +
              " after the last of " + std::to_string(count) + (count == 1 ? " key" : " keys");
    return false;
  }
  if (count > MAX_TRACK_KEYS) {
    error = std::to_string(count) + " keys, more than a track may hold (" + std::to_string(MAX_TRACK_KEYS) + ")";
    return false;
  }
  keys.reserve(count);
  for (int32_t i = 0; i < count; ++i) {
    const TrackKey key = parse_key(p + COUNT_BYTES + TRACK_KEY_BYTES * i);
    if (key.type < Step || key.type > Ramp) {
      error = "key " + std::to_string(i) + " at row " + std::to_string(key.row) + " has interpolation code " +
              std::to_string(key.type) + ", which is none of step, linear, smooth, ramp";
      return false;
    }
    if (i > 0 && key.row <= keys.back().row) {
      error = "key " + std::to_string(i) + " at row " + std::to_string(key.row) +
              " is not after the previous key's row " + std::to_string(keys.back().row);
      return false;
    }
    keys.push_back(key);
  }
  return true;
}

std::string track_file_name(std::string_view track_name) { return track_file_path(track_name); }
