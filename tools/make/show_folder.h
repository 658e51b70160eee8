#pragma once
// The show folder is made under a temporary name beside the target and renamed into place only
// when it is complete: a failure or Ctrl-C leaves no half-made show, and a show being replaced
// stays whole until the new one is ready.
#include <string>

class ShowFolder {
 public:
  ShowFolder() = default;
  ShowFolder(const ShowFolder&) = delete;
  ShowFolder& operator=(const ShowFolder&) = delete;
  ~ShowFolder();  // removes the temporary folder unless it was finished

  // Refuses a target that is a file, or a folder that is not empty unless `force`; then makes
  // the temporary folder.
  bool begin(const std::string& target, bool force, std::string& why);
  const std::string& dir() const { return temp_; }
  // Puts the folder in place of the target (the old one, with `force`, is removed after).
  bool finish(std::string& why);
  // Removes the temporary folder now.
  void abandon();

 private:
  std::string target_, temp_;
  bool force_ = false;
};
