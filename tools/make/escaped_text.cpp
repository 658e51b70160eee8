#include "tools/make/escaped_text.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the UTF-8 sequence at `at` that encodes a printable character, or 0 when the bytes
// there are a control character or no UTF-8 at all (overlong forms, surrogates and values past
// U+10FFFF included).
size_t printable_sequence(std::string_view s, size_t at) {
  const auto byte = [&](size_t i) { return i < s.size() ? uint8_t(s[i]) : 0; };
  const uint8_t b0 = byte(at);
  if (b0 >= 0x20 && b0 < 0x7F) return 1;
  const auto continuation = [&](size_t i) { return (byte(i) & 0xC0) == 0x80; };
  if (b0 >= 0xC2 && b0 <= 0xDF && continuation(at + 1)) return b0 == 0xC2 && byte(at + 1) < 0xA0 ? 0 : 2;  // C1
  if (b0 >= 0xE0 && b0 <= 0xEF && continuation(at + 1) && continuation(at + 2)) {
    const uint8_t b1 = byte(at + 1);
    return (b0 == 0xE0 && b1 < 0xA0) || (b0 == 0xED && b1 >= 0xA0) ? 0 : 3;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4 && continuation(at + 1) && continuation(at + 2) && continuation(at + 3)) {
    const uint8_t b1 = byte(at + 1);
    return (b0 == 0xF0 && b1 < 0x90) || (b0 == 0xF4 && b1 >= 0x90) ? 0 : 4;
  }
  return 0;
}

std::string escape(std::string_view s, bool quotes) {
  std::string out;
  for (size_t at = 0; at < s.size();) {
    const size_t n = printable_sequence(s, at);
    if (n > 0) {
      if (quotes && (s[at] == '"' || s[at] == '\\')) out += '\\';
      out.append(s.substr(at, n));
      at += n;
      continue;
    }
    const uint8_t c = uint8_t(s[at++]);
    if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

std::string printable(std::string_view text) { return escape(text, false); }

std::string quoted_name(std::string_view name) {
  const bool plain = !name.empty() && name.front() != ' ' && name.back() != ' ' &&
                     name.find_first_of("\"\\") == std::string_view::npos && printable(name) == name;
  return plain ? std::string(name) : "\"" + escape(name, true) + "\"";
}
