#include "tools/show_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "tools/authoring_defaults.h"
#include "tools/music_length.h"
#include "tools/track_file.h"

namespace fs = std::filesystem;

namespace {

// Written beside the target and renamed over it, so a reader never sees half a track.
bool write_file(const fs::path& path, const std::string& bytes, std::string& error) {
  const fs::path temp = path.string() + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "cannot create " + temp.string();
      return false;
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      error = "cannot write " + temp.string();
      fs::remove(temp);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) {
    error = "cannot rename " + temp.string() + " to " + path.string() + ": " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace

bool read_whole_file(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return false;
  bytes = std::move(s).str();
  return true;
}

std::vector<TextTrack> folder_tracks(const ShowText& show, const std::string& dir) {
  // Only a text without "happy" needs the music's length, and reading it costs a scan of the file.
  const bool happy = std::any_of(show.tracks.begin(), show.tracks.end(), [](const TextTrack& t) { return t.name == "happy"; });
  return whole_show_tracks(show, happy ? std::nullopt : music_end_row((fs::path(dir) / "e12.mp3").string()));
}

bool write_track_files(const ShowText& show, const std::string& dir, std::string& error, bool keep_identical) {
  std::error_code ec;
  fs::create_directories(fs::path(dir) / "kestos", ec);
  if (ec) {
    error = "cannot create " + (fs::path(dir) / "kestos").string() + ": " + ec.message();
    return false;
  }
  std::string existing;
  for (const TextTrack& t : folder_tracks(show, dir)) {
    const fs::path path = fs::path(dir) / track_file_name(t.name);
    const std::string bytes = encode_track_file(t.keys);
    if (keep_identical && read_whole_file(path.string(), existing) && existing == bytes) continue;
    if (!write_file(path, bytes, error)) return false;
  }
  return true;
}
