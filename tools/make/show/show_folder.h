#pragma once
// The show folder is made under a temporary name beside the target and renamed into place only
// when it is complete: a failure or Ctrl-C leaves no half-made show, and a show being replaced
// stays whole until the new one is ready.
//
// Nothing hallshow-make did not make is ever removed: the target may not be, hold or lie inside
// what the show is made from, and --force replaces only a folder that is empty or one that
// hallshow-make made (made_by_hallshow_make). The target is looked at again where the new show is
// put in place, in the same step as the rename, so what came into it meanwhile stays.
#include <string>
#include <vector>

// Empty when `dir` is a show folder as hallshow-make writes it (show.txt, photos.txt, e12.mp3,
// hall.photo/ with catalogue files and kestos/ with track files, and nothing else); otherwise what
// in it says otherwise, as "holds NAME, which hallshow-make did not make".
std::string not_made_by_hallshow_make(const std::string& dir);

class ShowFolder {
 public:
  ShowFolder() = default;
  ShowFolder(const ShowFolder&) = delete;
  ShowFolder& operator=(const ShowFolder&) = delete;
  ~ShowFolder();  // removes the temporary folder unless it was finished

  // Refuses, with `why`: a target that overlaps any of `inputs` (is, holds or lies inside one,
  // links resolved), that is a link, a file, or a folder that is not empty unless `force` and
  // hallshow-make made it. Then removes the temporaries that killed runs into the same target left
  // (their process gone), and makes its own.
  bool begin(const std::string& target, bool force, const std::vector<std::string>& inputs, std::string& why);
  const std::string& dir() const { return temp_; }
  // Puts the folder in place of the target: where the target was missing or empty, only if it
  // still is; where it was a show to replace, only if it still is one (the old show then removed).
  bool finish(std::string& why);
  // Removes the temporary folder now.
  void abandon();

 private:
  bool finish_by_moving_aside(std::string& why);

  std::string target_, temp_;
  bool replacing_ = false;  // the target holds a show made before, to be replaced
};
