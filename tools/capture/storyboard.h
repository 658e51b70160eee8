#pragma once
// A storyboard: frames of a show side by side in one picture, each scaled down by a whole factor
// and labelled underneath with its time and row, so an author sees the whole show at a glance.
//
// Layout: up to STORYBOARD_COLUMNS cells a row, in time order, left to right and top to bottom;
// STORYBOARD_MARGIN pixels around and between cells; under each cell a strip of
// STORYBOARD_LABEL_HEIGHT pixels with its label. The frames' own pixels are never drawn over.
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int STORYBOARD_MAX_CELL_WIDTH = 480;
inline constexpr int STORYBOARD_COLUMNS = 6;
inline constexpr int STORYBOARD_MARGIN = 8;
inline constexpr int STORYBOARD_LABEL_HEIGHT = 24;
inline constexpr int STORYBOARD_MAX_CELLS = 500;  // beyond that, a picture nobody can take in

// The smallest whole factor that brings a frame `width` pixels wide down to at most
// STORYBOARD_MAX_CELL_WIDTH.
int storyboard_scale(int width);

// A frame scaled down by `factor`: each factor × factor block of pixels becomes one pixel, every
// channel the mean of the block rounded half up. Columns and rows at the right and bottom that
// make no whole block are dropped. `rgba` is width × height pixels, top row first.
std::vector<uint8_t> shrink_frame(const std::vector<uint8_t>& rgba, int width, int height, int factor);

// The label of a frame, in the form --at reads back: "12.5s  row 250".
std::string storyboard_label(double row);

// The rows a storyboard shows: 0, every, 2 × every, … before `end` (up to and including it when
// `end_included`). Each is i × every, so no rounding creeps in along the way. At most
// STORYBOARD_MAX_CELLS + 1 rows are listed, so a tiny step cannot exhaust memory; more than
// STORYBOARD_MAX_CELLS means too many.
std::vector<double> storyboard_rows(double every, double end, bool end_included);

class Storyboard {
 public:
  // For `cells` frames of frame_width × frame_height pixels.
  Storyboard(int frame_width, int frame_height, int cells = 0);

  // Scales the next frame down and keeps it with its label, until the rows that show it are out.
  void add(const std::vector<uint8_t>& frame_rgba, double row);
  int cells() const { return cells_; }
  int added() const { return first_kept_ + static_cast<int>(kept_.size()); }
  int cell_width() const { return cell_width_; }
  int cell_height() const { return cell_height_; }
  // The top-left pixel of cell `i` in the picture.
  int cell_x(int i) const;
  int cell_y(int i) const;

  // The picture's size, and its row `y` (top row 0) as RGBA into `out` (width × 4 bytes). Rows go
  // out in order, a row of cells at a time: row(y) needs the first cells_before_row(y) cells
  // added, and lets go of those in the rows of cells above y. The picture is never held whole, nor
  // all of its cells: a storyboard of any length holds one row of cells.
  int width() const;
  int height() const;
  int cells_before_row(int y) const;
  void row(int y, uint8_t* out);

 private:
  struct Cell {
    std::vector<uint8_t> rgba;
    std::string label;
  };
  int frame_width_, frame_height_, factor_, cell_width_, cell_height_, cells_;
  std::vector<Cell> kept_;  // cells first_kept_ on
  int first_kept_ = 0;
};
