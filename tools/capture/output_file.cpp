#include "tools/capture/output_file.h"

#include <sys/stat.h>

#include <cstdio>

OutputFile::OutputFile(std::string target, const std::string& suffix) : target_(std::move(target)) {
  struct stat st;
  direct_ = stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
  writing_ = direct_ ? target_ : target_ + suffix;
}

bool OutputFile::commit() {
  if (direct_) return true;
  if (std::rename(writing_.c_str(), target_.c_str()) == 0) return true;
  std::remove(writing_.c_str());
  return false;
}

void OutputFile::discard() {
  if (!direct_) std::remove(writing_.c_str());
}
