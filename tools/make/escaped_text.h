#pragma once
// File names as hallshow-make prints them. A name can hold anything but '/' and NUL: a newline
// that would split a line of photos.txt in two, an escape sequence that would recolour, clear or
// retitle the terminal it is printed on, bytes that are no UTF-8.
#include <string>
#include <string_view>

// The text with every control character (C0, DEL, and C1 as UTF-8) and every byte that is no
// UTF-8 written out as \n, \t or \xNN; all else as it is.
std::string printable(std::string_view text);

// A name as photos.txt lists it: as it is when that reads back unambiguously, otherwise in double
// quotes, with \\ and \" and the escapes of printable.
std::string quoted_name(std::string_view name);
