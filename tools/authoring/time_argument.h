#pragma once
// TIME on a command line, as hallshow-capture's options take it and hallshow-studio's --at after
// them: rows ("250", "250r") or seconds ("12.5s"), never negative.
#include <optional>
#include <string>

// The row, or nothing when the text is not a time.
std::optional<double> parse_capture_time(const std::string& text);
