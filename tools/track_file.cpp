#include "tools/track_file.h"

#include <cstdint>
#include <cstring>

namespace {

void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t get_u32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

std::string encode_track_file(const std::vector<TrackKey>& keys) {
  std::string out;
  out.reserve(4 + TRACK_KEY_BYTES * keys.size());
  put_u32(out, static_cast<uint32_t>(keys.size()));
  for (const TrackKey& k : keys) {
    uint32_t bits;
    std::memcpy(&bits, &k.value, sizeof bits);
    put_u32(out, static_cast<uint32_t>(k.row));
    put_u32(out, bits);
    out.push_back(static_cast<char>(static_cast<int8_t>(k.type)));
  }
  return out;
}

bool decode_track_file(std::string_view bytes, std::vector<TrackKey>& keys, std::string& error) {
  keys.clear();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 4) {
    error = "too short for a key count (" + std::to_string(bytes.size()) + " bytes)";
    return false;
  }
  const auto count = static_cast<int32_t>(get_u32(p));
  if (count < 0) {
    error = "negative key count " + std::to_string(count);
    return false;
  }
  // Compare in 64 bits: a large count must not wrap into a plausible size.
  const uint64_t expected = 4 + uint64_t(TRACK_KEY_BYTES) * uint64_t(count);
  if (bytes.size() != expected) {
    const uint64_t present = (bytes.size() - 4) / TRACK_KEY_BYTES;
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
    const unsigned char* k = p + 4 + TRACK_KEY_BYTES * i;
    TrackKey key;
    key.row = static_cast<int32_t>(get_u32(k));
    const uint32_t bits = get_u32(k + 4);
    std::memcpy(&key.value, &bits, sizeof bits);
    key.type = static_cast<int8_t>(k[8]);
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

std::string track_file_name(std::string_view track_name) {
  return "kestos/base_" + std::string(track_name) + ".kesto";
}
