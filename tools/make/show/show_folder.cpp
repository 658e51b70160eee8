#include "tools/make/show/show_folder.h"

#include <fcntl.h>  // AT_FDCWD
#include <signal.h>
#include <stdio.h>  // renameat2
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "photos/open_entries.h"
#include "photos/photo_catalogue.h"
#include "sync/track_file.h"
#include "tools/authoring/scene_track_names.h"

namespace fs = std::filesystem;

namespace {

// What hallshow-make writes into a show folder, by folder.
const std::set<std::string>& files_made_in(const std::string& folder) {
  static const std::set<std::string> top = {"hall.photo", "kestos", "e12.mp3", "show.txt", "photos.txt", "cards.txt"};
  static const std::set<std::string> photos = [] {
    std::set<std::string> names;
    for (int i = 0; i < PHOTO_COUNT; ++i) names.insert(fs::path(PHOTO_CATALOGUE[i].path).filename().string());
    return names;
  }();
  static const std::set<std::string> tracks = [] {
    std::set<std::string> names;
    for (std::string_view t : KESTO_TRACK_NAMES) names.insert(fs::path(track_file_name(t)).filename().string());
    return names;
  }();
  static const std::set<std::string> none;
  return folder.empty() ? top : folder == "hall.photo" ? photos : folder == "kestos" ? tracks : none;
}

// `inner` is `outer` or lies inside it, component by component.
bool within(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i)
    if (i == inner.end() || *i != *o) return false;
  return true;
}

// The path with its links resolved as far as it exists, without a trailing separator.
fs::path resolved(const fs::path& p) {
  std::error_code ec;
  fs::path r = fs::weakly_canonical(p, ec);
  if (ec) r = fs::absolute(p, ec).lexically_normal();
  if (r.filename().empty()) r = r.parent_path();
  return r;
}

bool process_gone(long pid) { return pid > 0 && kill(pid_t(pid), 0) != 0 && errno == ESRCH; }

}  // namespace

std::string not_made_by_hallshow_make(const std::string& dir) {
  std::error_code ec;
  for (const std::string folder : {"", "hall.photo", "kestos"}) {
    const fs::path at = fs::path(dir) / folder;
    if (!folder.empty() && !fs::exists(fs::symlink_status(at, ec))) continue;
    for (fs::directory_iterator it(at, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      const bool folder_of_ours = folder.empty() && (name == "hall.photo" || name == "kestos");
      const fs::file_status st = it->symlink_status(ec);
      // The photos themselves are open entries, numbered from 44.
      const bool ours = files_made_in(folder).count(name) || (folder == "hall.photo" && open_entry_number(name));
      if (!ours || (folder_of_ours ? !fs::is_directory(st) : !fs::is_regular_file(st)))
        return "holds " + (fs::path(folder) / name).string() + ", which hallshow-make did not make";
    }
    if (ec) return "cannot be read: " + ec.message();
  }
  if (!fs::is_regular_file(fs::path(dir) / "show.txt", ec) || !fs::is_regular_file(fs::path(dir) / "photos.txt", ec))
    return "has no show.txt and photos.txt, so hallshow-make did not make it";
  return {};
}

ShowFolder::~ShowFolder() { abandon(); }

void ShowFolder::abandon() {
  if (temp_.empty()) return;
  std::error_code ec;
  fs::remove_all(temp_, ec);
  temp_.clear();
}

bool ShowFolder::begin(const std::string& target, bool force, const std::vector<std::string>& inputs,
                       std::string& why) {
  std::error_code ec;
  fs::path t = fs::path(target).lexically_normal();
  if (t.filename().empty()) t = t.parent_path();  // "show/" → "show"
  const fs::path real = resolved(t);
  for (const std::string& input : inputs) {
    const fs::path in = resolved(input);
    if (within(real, in) || within(in, real)) {
      why = target + " overlaps the input " + input + " (it is, holds or lies inside what the show is made from): give "
            "--out a folder of its own";
      return false;
    }
  }
  const fs::file_status st = fs::symlink_status(t, ec);
  replacing_ = false;
  if (fs::exists(st)) {
    if (fs::is_symlink(st)) {
      why = target + " is a link: give the folder it points to";
      return false;
    }
    if (!fs::is_directory(st)) {
      why = target + " exists and is not a folder";
      return false;
    }
    if (!fs::is_empty(t, ec)) {
      if (!force) {
        why = target + " is not empty (give --force to replace a show hallshow-make made)";
        return false;
      }
      const std::string foreign = not_made_by_hallshow_make(t.string());
      if (!foreign.empty()) {
        why = target + " " + foreign + "; --force replaces only a show hallshow-make made";
        return false;
      }
      replacing_ = true;
    }
  }
  const fs::path parent = t.has_parent_path() ? t.parent_path() : fs::path(".");
  if (!fs::is_directory(parent, ec)) {
    why = "the folder " + parent.string() + " for " + target + " does not exist";
    return false;
  }
  target_ = t.string();
  // Runs killed outright (no cleanup can follow SIGKILL) leave their folder: ".NAME.making-PID".
  const std::string stem = "." + t.filename().string() + ".making-";
  for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(stem) || name.size() == stem.size() ||
        name.find_first_not_of("0123456789", stem.size()) != std::string::npos)
      continue;
    if (process_gone(std::stol(name.substr(stem.size())))) fs::remove_all(it->path(), ec);
  }
  const fs::path temp = parent / (stem + std::to_string(getpid()));
  fs::remove_all(temp, ec);
  if (!fs::create_directory(temp, ec) || ec) {
    why = "cannot make " + temp.string() + ": " + (ec ? ec.message() : "it exists");
    return false;
  }
  temp_ = temp.string();
  return true;
}

bool ShowFolder::finish(std::string& why) {
  const std::string lost = target_ + " changed while the show was made (another run?), and was left as it is: ";
  if (!replacing_) {
    // Onto a missing or empty folder only: the kernel refuses to rename over anything else.
    if (::rename(temp_.c_str(), target_.c_str()) == 0) {
      temp_.clear();
      return true;
    }
    const int error = errno;
    why = error == ENOTEMPTY || error == EEXIST || error == ENOTDIR || error == EISDIR
              ? lost + "it is no longer missing or empty"
              : "cannot rename " + temp_ + " to " + target_ + ": " + std::strerror(error);
    return false;
  }
  // The new show and the old one trade places in one step; the old one is then removed only if it
  // is still a show hallshow-make made, and otherwise put back.
  if (renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) != 0) {
    const int error = errno;
    if (error == ENOENT) {  // the old show is gone: nothing to replace
      replacing_ = false;
      return finish(why);
    }
    if (error == EINVAL || error == ENOSYS) return finish_by_moving_aside(why);  // no exchange on this file system
    why = "cannot put " + temp_ + " in place of " + target_ + ": " + std::strerror(error);
    return false;
  }
  const std::string foreign = not_made_by_hallshow_make(temp_);
  if (!foreign.empty()) {
    renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE);
    why = lost + "it " + foreign;
    return false;
  }
  std::error_code ec;
  fs::remove_all(temp_, ec);
  temp_.clear();
  return true;
}

// Where the file system cannot exchange two names: the old show moved aside, checked, and put back
// unless it is still a show hallshow-make made; the new one then renamed onto the free name.
bool ShowFolder::finish_by_moving_aside(std::string& why) {
  const fs::path target(target_);
  const fs::path aside = target.parent_path() / ("." + target.filename().string() + ".old-" + std::to_string(getpid()));
  const std::string lost = target_ + " changed while the show was made (another run?), and was left as it is: ";
  if (::rename(target_.c_str(), aside.c_str()) != 0) {
    why = "cannot move the old " + target_ + " aside: " + std::strerror(errno);
    return false;
  }
  const std::string foreign = not_made_by_hallshow_make(aside.string());
  if (!foreign.empty() || ::rename(temp_.c_str(), target_.c_str()) != 0) {
    ::rename(aside.c_str(), target_.c_str());
    why = lost + (foreign.empty() ? "it is no longer missing" : "it " + foreign);
    return false;
  }
  std::error_code ec;
  fs::remove_all(aside, ec);
  temp_.clear();
  return true;
}
