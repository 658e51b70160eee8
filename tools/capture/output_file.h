#pragma once
// Where a capture writes while its output is not yet complete. A file is written under a name of its
// own beside the target and renamed over it once complete, so that an interrupted or failed capture
// leaves nothing under the target's name. A target that exists and is no regular file (a FIFO,
// /dev/null, a terminal) is written as it is and never replaced or removed.
#include <string>

class OutputFile {
 public:
  // `suffix` makes the name written first: target + suffix.
  OutputFile(std::string target, const std::string& suffix);

  const std::string& target() const { return target_; }
  // The name to write into now.
  const std::string& writing() const { return writing_; }
  // The output is complete: it takes the target's name. False, with the partial file removed,
  // when it cannot.
  bool commit();
  // The output is abandoned: what was written under a name of our own is removed.
  void discard();

 private:
  std::string target_, writing_;
  bool direct_;
};
