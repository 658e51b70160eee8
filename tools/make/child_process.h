#pragma once
// Running another program (ffprobe, ffmpeg) and waiting for it, ended early when we are interrupted.
#include <string>
#include <vector>

struct ChildResult {
  int exit_code = -1;      // -1: could not be started, or killed
  bool interrupted = false;
  std::string output;      // its standard output
  std::string errors;      // its standard error
};

ChildResult run_program(const std::vector<std::string>& argv);
