#pragma once
// Photos beyond the catalogue's 44 entries: "hall.photo/44.jpg", "45.png", … "12345.jpg". A layer
// whose n truncates to the number of one that exists draws it. Unlike the catalogue's squares they
// are drawn whole at their own aspect, and they are streamed while the show plays (only those about
// to be seen are held), so a show may have any number of them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint32_t OPEN_ENTRY_FIRST = 44;
// A track value is a float, which names every whole number exactly only below 2^24.
inline constexpr uint32_t OPEN_ENTRY_LIMIT = uint32_t(1) << 24;

struct OpenEntry {
  uint32_t number = 0;
  std::string path;  // the folder's path joined with the file name
};

// The number an open entry's file name gives: decimal without leading zeros, at least
// OPEN_ENTRY_FIRST and below OPEN_ENTRY_LIMIT, then ".jpg" or ".png" in lower case. Nothing for
// any other name (the catalogue's own names, "045.jpg", "45.JPG", "45.jpeg", "45.jpg~").
std::optional<uint32_t> open_entry_number(std::string_view file_name);

// The open entries in `folder` (with its trailing slash, as PHOTO_FOLDER), by increasing number.
// Where both "N.jpg" and "N.png" are present, "N.jpg" is the entry. Hidden files, folders and
// names that give no number are not entries; a special file that is named like one is listed,
// and refused when it is read. Empty when the folder cannot be read.
std::vector<OpenEntry> find_open_entries(const std::string& folder);

// The entry numbered `number` among `entries` (as find_open_entries orders them), or nullptr.
const OpenEntry* find_open_entry(const std::vector<OpenEntry>& entries, uint32_t number);
