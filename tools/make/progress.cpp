#include "tools/make/progress.h"

#include <algorithm>
#include <cstdio>

#include "tools/make/escaped_text.h"

namespace {
constexpr int BAR = 30;
}

void Progress::stage(const std::string& name) {
  end();
  name_ = name;
  detail_.clear();
  fraction_ = 0;
  last_width_ = -1;
  if (terminal_) draw();
  else std::fprintf(stderr, "hallshow-make: %s\n", name.c_str());
}

void Progress::update(double fraction, const std::string& detail) {
  fraction_ = std::clamp(fraction, 0.0, 1.0);
  detail_ = detail;
  if (!terminal_) return;
  const int w = static_cast<int>(fraction_ * BAR);
  if (w != last_width_ || !detail.empty()) draw();
}

void Progress::draw() {
  const int w = static_cast<int>(fraction_ * BAR);
  last_width_ = w;
  std::string bar(static_cast<size_t>(w), '#');
  bar.resize(BAR, '-');
  std::fprintf(stderr, "\r\033[K%-10s [%s] %s", name_.c_str(), bar.c_str(), detail_.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::warn(const std::string& line) {
  if (terminal_ && drawn_) std::fprintf(stderr, "\r\033[K");
  std::fprintf(stderr, "%s\n", printable(line).c_str());  // it names files, which may hold anything
  if (terminal_ && drawn_) draw();
}

void Progress::end() {
  if (terminal_ && drawn_) std::fprintf(stderr, "\n");
  drawn_ = false;
}
