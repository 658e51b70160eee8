#include "tools/authoring/music_length.h"

#include <mpg123.h>
#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <mutex>

#include "png/regular_file.h"
#include "show/music_clock.h"

namespace {

std::optional<int32_t> scan_end_row(const std::string& mp3_path) {
  mpg123_init();
  int err = MPG123_OK;
  mpg123_handle* h = mpg123_new(nullptr, &err);
  if (!h) return std::nullopt;
  // The same reading as the show's player (gapless, quiet), so the end is where it hears it end.
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  std::optional<int32_t> row;
  long rate = 0;
  int channels = 0, encoding = 0;
  const RegularFile file(mp3_path);  // a FIFO would hold the scan for ever, a device never end
  if (file.is_open() && mpg123_open_fd(h, file.fd()) == MPG123_OK &&
      mpg123_getformat(h, &rate, &channels, &encoding) == MPG123_OK && rate > 0) {
    // A scan counts every frame: the header's or the file size's guess would move the end.
    mpg123_scan(h);
    const off_t samples = mpg123_length(h);
    if (samples > 0) {
      const double rows = std::floor(static_cast<double>(samples) / static_cast<double>(rate) * ROW_RATE);
      row = static_cast<int32_t>(std::min(rows, static_cast<double>(std::numeric_limits<int32_t>::max())));
    }
  }
  mpg123_close(h);
  mpg123_delete(h);
  return row;
}

// The studio asks at every save; the file seldom changes, and a scan reads all of it.
struct Scanned {
  std::string path;
  bool exists = false;
  struct stat st {};
  std::optional<int32_t> row;
};

}  // namespace

std::optional<int32_t> music_end_row(const std::string& mp3_path) {
  static std::mutex lock;
  static Scanned last;
  struct stat st {};
  const bool exists = stat(mp3_path.c_str(), &st) == 0;
  std::lock_guard<std::mutex> hold(lock);
  if (!last.path.empty() && last.path == mp3_path && last.exists == exists &&
      (!exists || (st.st_ino == last.st.st_ino && st.st_size == last.st.st_size &&
                   st.st_mtim.tv_sec == last.st.st_mtim.tv_sec && st.st_mtim.tv_nsec == last.st.st_mtim.tv_nsec)))
    return last.row;
  last = Scanned{mp3_path, exists, st, exists ? scan_end_row(mp3_path) : std::nullopt};
  return last.row;
}
