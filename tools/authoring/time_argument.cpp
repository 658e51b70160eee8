#include "tools/authoring/time_argument.h"

#include <cmath>
#include <cstdlib>

#include "show/music_clock.h"

std::optional<double> parse_capture_time(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::string number = text;
  bool seconds = false;
  if (number.back() == 's' || number.back() == 'r') {
    seconds = number.back() == 's';
    number.pop_back();
  }
  if (number.empty() || number.find_first_not_of("0123456789.") != std::string::npos) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(number.c_str(), &end);
  if (end != number.c_str() + number.size() || !std::isfinite(v)) return std::nullopt;
  return seconds ? v * ROW_RATE : v;
}
