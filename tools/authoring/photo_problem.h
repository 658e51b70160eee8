#pragma once
// One thing wrong with a show's photos, as kesto check and the studio tell it.
#include <string>

struct PhotoProblem {
  std::string message;      // one line: "hall.photo/15.png cannot be decoded (...); back.n shows it from 2s"
  bool unintended = false;  // the show would show something the author did not mean
};
