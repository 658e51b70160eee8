#pragma once
// What the user sees while a show is made: on a terminal one line redrawn in place, a bar for
// each stage (photos n/N, encoding, analysis); otherwise plain lines, one a stage.
#include <string>

class Progress {
 public:
  explicit Progress(bool terminal) : terminal_(terminal) {}
  void stage(const std::string& name);           // a new stage begins
  void update(double fraction, const std::string& detail = "");  // 0..1 within the stage
  void warn(const std::string& line);            // a line of its own, the bar drawn again after it
  void end();                                    // the bar's line is finished

 private:
  void draw();
  bool terminal_;
  bool drawn_ = false;
  std::string name_, detail_;
  double fraction_ = 0;
  int last_width_ = -1;
};
