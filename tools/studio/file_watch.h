#pragma once
// Which of a few files have changed. inotify on their folders tells at once when a file is written
// and closed or renamed into place (the way editors save); a look at every file's status every
// quarter second catches the rest (folders inotify cannot watch, file systems that never tell),
// once two looks in a row agree, so that a file still being written is not taken half done.
// Reading the changes costs one non-blocking read and allocates nothing.
#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

class FileWatch {
 public:
  static constexpr double POLL_SECONDS = 0.25;

  explicit FileWatch(std::vector<std::string> paths);
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  // Sets `changed` to the indexes (into the paths given) of the files changed since the last call;
  // `now` is monotonic seconds, which paces the status checks. `changed` keeps its capacity.
  void poll(double now, std::vector<size_t>& changed);

  bool notified() const { return inotify_ >= 0; }  // false: status checks alone

 private:
  struct Status {
    bool exists = false;
    ino_t inode = 0;
    off_t size = 0;
    long long mtime_ns = 0;
    friend bool operator==(const Status&, const Status&) = default;
  };
  struct Watched {
    std::string path, folder, name;
    int folder_watch = -1;
    Status status;
    bool flagged = false;
    bool moving = false;  // a status check saw `moved_to`, unlike `status`; the next must agree
    Status moved_to;
  };
  static Status status_of(const std::string& path);
  void read_events();

  std::vector<Watched> files_;
  int inotify_ = -1;
  double next_check_ = 0.0;
  alignas(8) char events_[4096];
};
