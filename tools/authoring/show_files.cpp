#include "tools/authoring/show_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "png/regular_file.h"
#include "sync/track_file.h"
#include "tools/authoring/authoring_defaults.h"
#include "tools/authoring/music_length.h"

namespace fs = std::filesystem;

namespace {

// The whole of `bytes` to `fd`, through short writes and interruptions.
bool write_all(int fd, const std::string& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += size_t(n);
  }
  return true;
}

// A new file beside `path` with a name no other writer has (the studio and "kesto build" may
// write the same folder at once), made with O_EXCL so that nothing already there, not even a
// link planted under that name, is ever written through. -1 when none can be made.
int create_temporary(const fs::path& path, std::string& temp) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    char tag[64];
    std::snprintf(tag, sizeof tag, ".%ld.%u.%lx.part", long(getpid()), counter.fetch_add(1),
                  static_cast<unsigned long>(now.tv_nsec));
    temp = path.string() + tag;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Syncs a folder, so that a rename into it survives a power cut. A file system that cannot sync
// folders is no reason to fail: the file itself is on disk.
void sync_folder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The file a path names, through its links: what a save writes, so that the link stays a link.
fs::path link_target(fs::path path) {
  for (int hops = 0; hops < 40; ++hops) {  // as many as the kernel follows
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) break;
    const fs::path link = fs::read_symlink(path, ec);
    if (ec) break;
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  return path;
}

}  // namespace

bool save_file(const std::string& path, const std::string& bytes, std::string& error) {
  const fs::path target = link_target(path);
  const auto failed = [&](int error_number) {
    error = "cannot save " + path + ": " + std::strerror(error_number);
    return false;
  };
  std::string temp;
  const int fd = create_temporary(target, temp);
  if (fd < 0) return failed(errno);
  struct stat st {};
  bool written = write_all(fd, bytes);
  if (written && ::stat(target.c_str(), &st) == 0) written = ::fchmod(fd, st.st_mode & 07777) == 0;  // its mode kept
  written = written && ::fsync(fd) == 0;
  const int write_errno = errno;
  const bool closed = ::close(fd) == 0;  // a file system may report a failed write only here
  if (!written || !closed) {
    const int error_number = written ? errno : write_errno;
    ::unlink(temp.c_str());
    return failed(error_number);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int error_number = errno;
    ::unlink(temp.c_str());
    return failed(error_number);
  }
  sync_folder(target.parent_path());
  return true;
}

bool read_whole_file(const std::string& path, std::string& bytes) {
  const RegularFile file(path);
  if (!file.is_open() || file.size() > SHOW_FILE_LIMIT) return false;
  bytes.resize(size_t(file.size()));
  bytes.resize(file.read_at(0, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()));
  return true;
}

std::vector<TextTrack> folder_tracks(const ShowText& show, const std::string& dir) {
  // Only a text without "happy" needs the music's length, and reading it costs a scan of the file.
  const bool happy = std::any_of(show.tracks.begin(), show.tracks.end(), [](const TextTrack& t) { return t.name == "happy"; });
  return whole_show_tracks(show, happy ? std::nullopt : music_end_row((fs::path(dir) / "e12.mp3").string()));
}

bool write_track_files(const ShowText& show, const std::string& dir, std::string& error, bool keep_identical) try {
  std::error_code ec;
  fs::create_directories(fs::path(dir) / "kestos", ec);
  if (ec) {
    error = "cannot make " + (fs::path(dir) / "kestos").string() + ": " + ec.message();
    return false;
  }
  std::string existing;
  for (const TextTrack& t : folder_tracks(show, dir)) {
    const fs::path path = fs::path(dir) / track_file_name(t.name);
    const std::string bytes = encode_track_file(t.keys);
    if (keep_identical && read_whole_file(path.string(), existing) && existing == bytes) continue;
    if (!save_file(path.string(), bytes, error)) return false;
  }
  return true;
} catch (const std::exception& e) {
  // Only memory running out gets here; the studio calls this between frames and must go on.
  error = std::string("cannot write the track files: ") + e.what();
  return false;
}
