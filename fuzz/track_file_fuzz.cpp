// libFuzzer target for the track file reader and evaluation: any bytes as a .kesto file, then the
// track's value at the rows a show asks for and at rows it never should (NaN, infinities, rows
// beyond 32 bits). Beyond the sanitizers' own checks it holds the reader to its promises: only
// whole keys, each exactly the bytes at its place; a result code from the table; values that stay
// within the keys' own range; and agreement with kesto's strict reader on every file that one takes.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "sync/sync_track.h"
#include "sync/track_file.h"

namespace {

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// The bytes as a file the reader opens by name, in memory: no disk traffic per input.
std::string as_file(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("base_back.x.kesto", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) __builtin_trap();
  return "/proc/self/fd/" + std::to_string(fd);
}

bool same_bits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

// Rows to evaluate at: the edges of double and of a 32-bit row, each key's row and its
// neighbours, and a few doubles taken from the input itself.
std::vector<double> rows_to_try(const SyncTrack& track, const uint8_t* data, size_t size) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  constexpr double lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  std::vector<double> rows = {nan,     -nan,     inf,     -inf,     0.0,      -0.0,     -0.5,  0.5,
                              1e300,   -1e300,   hi,      hi + 0.5, hi + 1.0, lo,       lo - 0.5, lo - 1.0,
                              9.007199254740993e15, std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max()};
  for (size_t i = 0; i < track.keys.size() && i < 64; ++i) {
    const double r = track.keys[i].row;
    for (double d : {-1.0, -0.25, 0.0, 0.5, 0.999999}) rows.push_back(r + d);
  }
  for (size_t at = 0; at + 8 <= size && rows.size() < 400; at += 8) {
    uint64_t bits;
    std::memcpy(&bits, data + at, 8);
    rows.push_back(std::bit_cast<double>(bits));
  }
  return rows;
}

// Keys out of row order are not refused by the reader (nothing in the file says they are wrong),
// and between them the curve is some extrapolation; for those only the sanitizers' checks hold.
void check_values(const SyncTrack& track, const std::vector<double>& rows) {
  const auto& keys = track.keys;
  const bool in_order =
      std::is_sorted(keys.begin(), keys.end(), [](const TrackKey& a, const TrackKey& b) { return a.row < b.row; });
  bool finite = true;
  float least = 0, most = 0;
  for (const TrackKey& k : keys) finite = finite && std::isfinite(k.value);
  if (!keys.empty()) {
    least = most = keys[0].value;
    for (const TrackKey& k : keys) least = std::min(least, k.value), most = std::max(most, k.value);
  }
  // Interpolating across keys of very different sizes rounds in double before the one rounding
  // to float; that much slack, and no more, is allowed beyond the keys' range.
  const double slack = std::ldexp(std::max(std::fabs(double(least)), std::fabs(double(most))), -40);
  for (double row : rows) {
    const float v = get_value(track, row);
    if (keys.empty()) {
      if (!same_bits(v, 0.0f)) __builtin_trap();  // a track without keys reads 0 everywhere
      continue;
    }
    if (!in_order) continue;
    // NaN and rows before the first key give the first key's value, rows past the last the last's.
    if (!(row >= double(keys.front().row)) && !same_bits(v, keys.front().value)) __builtin_trap();
    if (row >= double(keys.back().row) + 1.0 && !same_bits(v, keys.back().value)) __builtin_trap();
    if (finite && v != 0.0f && (v < least - slack || v > most + slack)) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SyncTrack track;
  track.keys.assign(3, TrackKey{7, 7.0f, 1});  // a reload replaces whatever the track held
  const int result = load_track_file(as_file(data, size), track);

  const size_t whole = size >= 4 ? (size - 4) / 9 : 0;
  const int32_t count = size >= 4 ? int32_t(le32(data)) : -1;
  switch (result) {
    case TRACK_FILE_READ:
      if (count < 0 || track.keys.size() != size_t(count)) __builtin_trap();
      break;
    case TRACK_FILE_SHORT:
      if (size >= 4 && (count < 0 || track.keys.size() >= size_t(count))) __builtin_trap();
      break;
    case TRACK_FILE_NEGATIVE_COUNT:
      if (count >= 0) __builtin_trap();
      break;
    default: __builtin_trap();  // nothing else for a file that opens
  }
  if (track.keys.size() > whole || (result != TRACK_FILE_READ && result != TRACK_FILE_SHORT && !track.keys.empty()))
    __builtin_trap();
  for (size_t i = 0; i < track.keys.size(); ++i) {
    const uint8_t* k = data + 4 + 9 * i;
    const TrackKey& key = track.keys[i];
    if (key.row != int32_t(le32(k)) || std::bit_cast<uint32_t>(key.value) != le32(k + 4) || key.type != int8_t(k[8]))
      __builtin_trap();
  }
  check_values(track, rows_to_try(track, data, size));

  // kesto's strict reader takes only exact, sound files; the show reads those to the same keys,
  // and kesto writes them back byte for byte.
  std::vector<TrackKey> strict;
  std::string error;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (decode_track_file(bytes, strict, error)) {
    if (result != TRACK_FILE_READ || strict.size() != track.keys.size()) __builtin_trap();
    if (encode_track_file(strict) != bytes) __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();  // a refusal always says why
  }
  return 0;
}
