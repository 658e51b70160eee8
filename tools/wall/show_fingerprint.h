#pragma once
// Which show a machine plays: a digest of each of its 22 track files and of each of its photos
// (the catalogue's and the open entries), by name. Two machines play the same show when their
// lists are equal; when they are not, the differences name the files.
#include <cstdint>
#include <string>
#include <vector>

struct FingerprintItem {
  std::string name;     // "track back.x", "photo hall.photo/01.png"
  uint64_t digest = 0;  // of the file's bytes; 0 for a missing file
  friend bool operator==(const FingerprintItem&, const FingerprintItem&) = default;
};

struct ShowFingerprint {
  std::vector<FingerprintItem> items;  // sorted by name, names unique
  uint64_t digest() const;             // of the whole list: equal lists, equal digests
  friend bool operator==(const ShowFingerprint&, const ShowFingerprint&) = default;
};

// The show in the working directory. Every photo is read whole, so this takes a while on a large
// show: start it on a thread of its own.
ShowFingerprint fingerprint_show();

// A file's digest: 0 when it is missing or no regular file, otherwise never 0.
uint64_t file_digest(const std::string& path);

// What differs between the leader's show and this machine's, for one line: "track back.x differs,
// photo hall.photo/07.jpg only on the leader, and 3 more". Empty when they are the same.
std::string fingerprint_differences(const ShowFingerprint& leader, const ShowFingerprint& here);
