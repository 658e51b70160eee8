#include "photos/open_entries.h"

#include <dirent.h>

#include <algorithm>

std::optional<uint32_t> open_entry_number(std::string_view name) {
  const size_t dot = name.find('.');
  if (dot == 0 || dot == std::string_view::npos || dot > 8) return std::nullopt;
  const std::string_view digits = name.substr(0, dot), extension = name.substr(dot);
  if (extension != ".jpg" && extension != ".png") return std::nullopt;
  if (digits[0] == '0') return std::nullopt;
  uint32_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + uint32_t(c - '0');  // at most eight digits: no overflow
  }
  if (number < OPEN_ENTRY_FIRST || number >= OPEN_ENTRY_LIMIT) return std::nullopt;
  return number;
}

std::vector<OpenEntry> find_open_entries(const std::string& folder) {
  std::vector<std::pair<std::string, uint32_t>> named;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_type == DT_DIR) continue;
      if (const std::optional<uint32_t> number = open_entry_number(entry->d_name))
        named.emplace_back(entry->d_name, *number);
    }
    closedir(dir);
  }
  // By number, and ".jpg" before ".png" of the same number, so that the first of each is the entry.
  std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second < b.second : a.first < b.first;
  });
  std::vector<OpenEntry> entries;
  entries.reserve(named.size());
  for (const auto& [name, number] : named)
    if (entries.empty() || entries.back().number != number) entries.push_back({number, folder + name});
  return entries;
}

const OpenEntry* find_open_entry(const std::vector<OpenEntry>& entries, uint32_t number) {
  const auto at = std::lower_bound(entries.begin(), entries.end(), number,
                                   [](const OpenEntry& e, uint32_t n) { return e.number < n; });
  return at != entries.end() && at->number == number ? &*at : nullptr;
}
