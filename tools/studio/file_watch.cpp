#include "tools/studio/file_watch.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Written and closed, or renamed into place: the moments a saved file is whole. A plain write is
// not among them, so a file is not read while an editor is still writing it.
constexpr uint32_t SAVED = IN_CLOSE_WRITE | IN_MOVED_TO;

}  // namespace

FileWatch::FileWatch(std::vector<std::string> paths) {
  inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  for (std::string& path : paths) {
    Watched w;
    const size_t slash = path.rfind('/');
    w.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    w.name = slash == std::string::npos ? path : path.substr(slash + 1);
    w.path = std::move(path);
    w.status = status_of(w.path);
    if (inotify_ >= 0) {
      // The same folder gives the same watch back, so shared folders cost one watch.
      w.folder_watch = inotify_add_watch(inotify_, w.folder.c_str(), SAVED | IN_ONLYDIR);
    }
    files_.push_back(std::move(w));
  }
}

FileWatch::~FileWatch() {
  if (inotify_ >= 0) close(inotify_);
}

FileWatch::Status FileWatch::status_of(const std::string& path) {
  Status s;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.inode = st.st_ino;
  s.size = st.st_size;
  s.mtime_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return s;
}

void FileWatch::read_events() {
  for (;;) {
    const ssize_t got = read(inotify_, events_, sizeof events_);
    if (got <= 0) return;  // EAGAIN: nothing more; an error: the status checks carry on
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events_ + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {
        for (Watched& w : files_) w.flagged = true;  // events were lost: any file may have changed
        continue;
      }
      if (event->len == 0) continue;
      for (Watched& w : files_)
        if (w.folder_watch == event->wd && std::strcmp(w.name.c_str(), event->name) == 0) w.flagged = true;
    }
  }
}

void FileWatch::poll(double now, std::vector<size_t>& changed) {
  changed.clear();
  if (inotify_ >= 0) read_events();
  const bool check = now >= next_check_;
  if (check) next_check_ = now + POLL_SECONDS;
  for (size_t i = 0; i < files_.size(); ++i) {
    Watched& w = files_[i];
    if (!w.flagged && !check) continue;
    const Status s = status_of(w.path);
    // A saved file is news even when its status looks the same (a second save within the file
    // system's time resolution). A status that moved without an event may be a file still being
    // written, so it is news once a second check finds the same status.
    bool news = w.flagged;
    if (!w.flagged && check && !(s == w.status)) {
      news = w.moving && s == w.moved_to;
      w.moving = !news;
      w.moved_to = s;
    } else if (check || w.flagged) {
      w.moving = false;
    }
    if (news) {
      if (s.exists) changed.push_back(i);
      w.status = s;
    }
    w.flagged = false;
  }
}
