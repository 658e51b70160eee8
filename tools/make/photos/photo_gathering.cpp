#include "tools/make/photos/photo_gathering.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

bool has_photo_extension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const std::set<std::string> KNOWN = {".jpg", ".jpeg", ".jpe", ".png", ".gif", ".webp", ".tif",
                                              ".tiff", ".bmp", ".heic", ".heif", ".avif"};
  return KNOWN.count(ext) > 0;
}

bool is_show_folder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(fs::path(path) / "hall.photo", ec) && fs::is_directory(fs::path(path) / "kestos", ec);
}

std::vector<std::string> gather_photo_files(const std::vector<std::string>& inputs, std::vector<std::string>& problems) {
  std::vector<std::string> files;
  std::set<std::string> seen;
  auto add = [&](const fs::path& p) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(p, ec);
    if (seen.insert(ec ? p.string() : canonical.string()).second) files.push_back(p.string());
  };
  for (const std::string& input : inputs) {
    std::error_code ec;
    const fs::file_status st = fs::status(input, ec);
    if (!fs::exists(st)) {
      problems.push_back(input + ": does not exist");
      continue;
    }
    if (!fs::is_directory(st)) {
      if (fs::is_regular_file(st))
        add(input);
      else
        problems.push_back(input + ": is not a regular file (a FIFO or a device), which is never read");
      continue;
    }
    if (is_show_folder(input)) {
      problems.push_back(input + ": is a show (it has hall.photo/ and kestos/), not photos; give the photos it was made from");
      continue;
    }
    std::vector<fs::path> found;
    for (fs::recursive_directory_iterator it(input, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
      const bool hidden = it->path().filename().string().starts_with(".");
      if (it->is_directory(ec)) {
        if (hidden || is_show_folder(it->path().string())) it.disable_recursion_pending();
        continue;
      }
      if (!hidden && it->is_regular_file(ec) && has_photo_extension(it->path().string())) found.push_back(it->path());
    }
    if (ec) problems.push_back(input + ": " + ec.message());
    std::sort(found.begin(), found.end());
    for (const fs::path& p : found) add(p);
  }
  return files;
}
