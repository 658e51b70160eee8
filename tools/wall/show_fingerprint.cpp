// The digest is for telling two copies of a show apart, not for security: a fast 64-bit mix over
// whole words, with the length folded in, enough that any change of a file changes it.
#include "tools/wall/show_fingerprint.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "photos/open_entries.h"
#include "photos/photo_catalogue.h"
#include "png/regular_file.h"
#include "show/scene_tracks.h"
#include "sync/track_file.h"

namespace {

constexpr uint64_t K1 = 0x9E3779B97F4A7C15ull, K2 = 0xC2B2AE3D27D4EB4Full;

uint64_t mix(uint64_t h, uint64_t word) {
  h ^= word * K1;
  h = (h << 31) | (h >> 33);
  return h * K2;
}

uint64_t finish(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  return h ? h : 1;  // 0 stays "missing"
}

uint64_t digest_bytes(uint64_t h, const uint8_t* data, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    h = mix(h, word);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, data + i, n - i);
  return mix(h, tail ^ (uint64_t(n - i) << 56));
}

}  // namespace

uint64_t file_digest(const std::string& path) {
  RegularFile file(path);
  if (!file.is_open()) return 0;
  std::vector<uint8_t> buffer(1 << 20);
  uint64_t h = mix(0x5A17, file.size());
  for (uint64_t offset = 0;;) {
    const size_t n = file.read_at(offset, buffer.data(), buffer.size());
    if (n == 0) break;
    h = digest_bytes(h, buffer.data(), n);
    offset += n;
  }
  return finish(h);
}

uint64_t ShowFingerprint::digest() const {
  uint64_t h = 0x51DE;
  for (const FingerprintItem& item : items) {
    h = digest_bytes(h, reinterpret_cast<const uint8_t*>(item.name.data()), item.name.size());
    h = mix(h, item.digest);
  }
  return finish(h);
}

ShowFingerprint fingerprint_show() {
  std::map<std::string, uint64_t> items;  // sorted, and the catalogue's repeated file once
  for (const char* track : SCENE_TRACK_NAMES) items["track " + std::string(track)] = file_digest(track_file_name(track));
  for (const PhotoEntry& entry : PHOTO_CATALOGUE.entries) {
    const std::string path = utf8_path(entry.wide_path);
    items["photo " + path] = file_digest(path);
  }
  for (const OpenEntry& entry : find_open_entries(PHOTO_FOLDER)) items["photo " + entry.path] = file_digest(entry.path);
  ShowFingerprint fingerprint;
  for (const auto& [name, digest] : items) fingerprint.items.push_back({name, digest});
  return fingerprint;
}

std::string fingerprint_differences(const ShowFingerprint& leader, const ShowFingerprint& here) {
  std::vector<std::string> said;
  auto l = leader.items.begin(), h = here.items.begin();
  const auto present = [](const FingerprintItem& item) { return item.digest != 0; };
  while (l != leader.items.end() || h != here.items.end()) {
    if (h == here.items.end() || (l != leader.items.end() && l->name < h->name)) {
      if (present(*l)) said.push_back(l->name + " only on the leader");
      ++l;
    } else if (l == leader.items.end() || h->name < l->name) {
      if (present(*h)) said.push_back(h->name + " only here");
      ++h;
    } else {
      if (l->digest != h->digest)
        said.push_back(l->name + (!present(*l) ? " only here" : !present(*h) ? " only on the leader" : " differs"));
      ++l, ++h;
    }
  }
  constexpr size_t NAMED = 4;  // one line names a few; the rest are counted
  std::string line;
  for (size_t i = 0; i < std::min(said.size(), NAMED); ++i) line += (i ? ", " : "") + said[i];
  if (said.size() > NAMED) line += ", and " + std::to_string(said.size() - NAMED) + " more";
  return line;
}
