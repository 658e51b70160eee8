#pragma once
// One captured frame as an 8-bit RGBA PNG file.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// `rgba` holds width × height pixels, top row first. False when the file cannot be written; what
// was written of it stays, for the caller to remove (it may be a file the caller did not make).
bool write_frame_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);

// The same, row by row, in order: `row(y, out)` writes row y (top row 0) as width × 4 bytes into
// `out`, or returns false to give up, which leaves the file unfinished (and returns false).
bool write_png_rows(const std::string& path, int width, int height,
                    const std::function<bool(int y, uint8_t* out)>& row);
