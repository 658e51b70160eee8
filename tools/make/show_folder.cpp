#include "tools/make/show_folder.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

ShowFolder::~ShowFolder() { abandon(); }

void ShowFolder::abandon() {
  if (temp_.empty()) return;
  std::error_code ec;
  fs::remove_all(temp_, ec);
  temp_.clear();
}

bool ShowFolder::begin(const std::string& target, bool force, std::string& why) {
  std::error_code ec;
  fs::path t = fs::path(target).lexically_normal();
  if (t.filename().empty()) t = t.parent_path();  // "show/" → "show"
  if (fs::exists(fs::symlink_status(t, ec))) {
    if (!fs::is_directory(t, ec)) {
      why = target + " exists and is not a folder";
      return false;
    }
    if (!fs::is_empty(t, ec) && !force) {
      why = target + " is not empty (give --force to replace it)";
      return false;
    }
  }
  const fs::path parent = t.has_parent_path() ? t.parent_path() : fs::path(".");
  if (!fs::is_directory(parent, ec)) {
    why = "the folder " + parent.string() + " for " + target + " does not exist";
    return false;
  }
  target_ = t.string();
  force_ = force;
  const fs::path temp = parent / ("." + t.filename().string() + ".making-" + std::to_string(getpid()));
  fs::remove_all(temp, ec);
  if (!fs::create_directory(temp, ec) || ec) {
    why = "cannot make " + temp.string() + ": " + (ec ? ec.message() : "it exists");
    return false;
  }
  temp_ = temp.string();
  return true;
}

bool ShowFolder::finish(std::string& why) {
  std::error_code ec;
  const fs::path target(target_);
  fs::path old;
  if (fs::exists(fs::symlink_status(target, ec))) {
    if (fs::is_empty(target, ec)) {
      fs::remove(target, ec);
    } else {
      old = target.parent_path() / ("." + target.filename().string() + ".old-" + std::to_string(getpid()));
      fs::rename(target, old, ec);
      if (ec) {
        why = "cannot move the old " + target_ + " aside: " + ec.message();
        return false;
      }
    }
  }
  fs::rename(temp_, target, ec);
  if (ec) {
    why = "cannot rename " + temp_ + " to " + target_ + ": " + ec.message();
    if (!old.empty()) fs::rename(old, target, ec);  // the old show back in place
    return false;
  }
  temp_.clear();
  if (!old.empty()) fs::remove_all(old, ec);
  return true;
}
