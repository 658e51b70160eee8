#include "tools/capture/storyboard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "show/music_clock.h"

namespace {

constexpr uint8_t BACKGROUND[4] = {24, 24, 24, 255};
constexpr uint8_t INK[4] = {230, 230, 230, 255};

// The few characters a label needs, 5 × 7 pixels each: one byte a row, top row first, the
// leftmost pixel in bit 4.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph GLYPHS[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'s', {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}}, {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}},
    {'w', {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A}},
};
constexpr int GLYPH_WIDTH = 5, GLYPH_HEIGHT = 7, GLYPH_SCALE = 2, GLYPH_ADVANCE = (GLYPH_WIDTH + 1) * GLYPH_SCALE;

const Glyph* glyph_of(char c) {
  for (const Glyph& g : GLYPHS)
    if (g.c == c) return &g;
  return nullptr;  // a space, or anything the labels never hold: nothing drawn
}

// Row `gy` (0 at the top, GLYPH_HEIGHT × GLYPH_SCALE rows in all) of a text whose top-left corner
// is at `row`, clipped to `max_width` pixels. Rows outside the glyphs draw nothing.
void draw_text_row(uint8_t* row, int max_width, int gy, const std::string& text) {
  if (gy < 0 || gy >= GLYPH_HEIGHT * GLYPH_SCALE) return;
  for (size_t i = 0; i < text.size(); ++i) {
    const int left = static_cast<int>(i) * GLYPH_ADVANCE;
    if (left + GLYPH_WIDTH * GLYPH_SCALE > max_width) break;
    const Glyph* g = glyph_of(text[i]);
    if (!g) continue;
    for (int gx = 0; gx < GLYPH_WIDTH * GLYPH_SCALE; ++gx)
      if (g->rows[gy / GLYPH_SCALE] & (0x10 >> (gx / GLYPH_SCALE)))
        std::copy(INK, INK + 4, row + static_cast<size_t>(left + gx) * 4);
  }
}

// A number with at most two decimals and no trailing zeros: "12", "12.5", "0.05".
std::string short_number(double v) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2f", v);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

int storyboard_scale(int width) {
  return std::max(1, (width + STORYBOARD_MAX_CELL_WIDTH - 1) / STORYBOARD_MAX_CELL_WIDTH);
}

std::vector<uint8_t> shrink_frame(const std::vector<uint8_t>& rgba, int width, int height, int factor) {
  const int w = width / factor, h = height / factor;
  const uint32_t block = static_cast<uint32_t>(factor) * factor;
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
  std::vector<uint32_t> sums(static_cast<size_t>(w) * 4);
  for (int y = 0; y < h; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    for (int dy = 0; dy < factor; ++dy) {
      const uint8_t* row = &rgba[(static_cast<size_t>(y) * factor + dy) * width * 4];
      for (int x = 0; x < w * factor; ++x)
        for (int c = 0; c < 4; ++c) sums[static_cast<size_t>(x / factor) * 4 + c] += row[static_cast<size_t>(x) * 4 + c];
    }
    uint8_t* dst = &out[static_cast<size_t>(y) * w * 4];
    for (size_t i = 0; i < sums.size(); ++i) dst[i] = static_cast<uint8_t>((sums[i] + block / 2) / block);
  }
  return out;
}

std::string storyboard_label(double row) {
  return short_number(row / ROW_RATE) + "s  row " + short_number(row);
}

std::vector<double> storyboard_rows(double every, double end, bool end_included) {
  std::vector<double> rows;
  if (!(every > 0) || !(end >= 0)) return rows;
  for (long i = 0; i <= STORYBOARD_MAX_CELLS; ++i) {
    const double row = static_cast<double>(i) * every;
    if (row > end || (row == end && !end_included)) break;
    rows.push_back(row);
  }
  return rows;
}

Storyboard::Storyboard(int frame_width, int frame_height, int cells)
    : frame_width_(frame_width),
      frame_height_(frame_height),
      factor_(storyboard_scale(frame_width)),
      cell_width_(frame_width / factor_),
      cell_height_(frame_height / factor_),
      cells_(std::max(cells, 0)) {}

void Storyboard::add(const std::vector<uint8_t>& frame_rgba, double row) {
  if (added() >= cells_) return;
  kept_.push_back({shrink_frame(frame_rgba, frame_width_, frame_height_, factor_), storyboard_label(row)});
}

int Storyboard::cell_x(int i) const {
  return STORYBOARD_MARGIN + (i % STORYBOARD_COLUMNS) * (cell_width_ + STORYBOARD_MARGIN);
}

int Storyboard::cell_y(int i) const {
  return STORYBOARD_MARGIN + (i / STORYBOARD_COLUMNS) * (cell_height_ + STORYBOARD_LABEL_HEIGHT + STORYBOARD_MARGIN);
}

int Storyboard::width() const {
  if (cells_ == 0) return 0;
  return STORYBOARD_MARGIN + std::min(cells_, STORYBOARD_COLUMNS) * (cell_width_ + STORYBOARD_MARGIN);
}

int Storyboard::height() const {
  if (cells_ == 0) return 0;
  const int rows = (cells_ + STORYBOARD_COLUMNS - 1) / STORYBOARD_COLUMNS;
  return STORYBOARD_MARGIN + rows * (cell_height_ + STORYBOARD_LABEL_HEIGHT + STORYBOARD_MARGIN);
}

int Storyboard::cells_before_row(int y) const {
  if (y < STORYBOARD_MARGIN) return 0;
  const int band = (y - STORYBOARD_MARGIN) / (cell_height_ + STORYBOARD_LABEL_HEIGHT + STORYBOARD_MARGIN);
  return std::min(cells_, (band + 1) * STORYBOARD_COLUMNS);
}

void Storyboard::row(int y, uint8_t* out) {
  const int w = width();
  for (int x = 0; x < w; ++x) std::copy(BACKGROUND, BACKGROUND + 4, out + size_t(x) * 4);
  const int band_height = cell_height_ + STORYBOARD_LABEL_HEIGHT + STORYBOARD_MARGIN;
  if (y < STORYBOARD_MARGIN) return;
  const int band = (y - STORYBOARD_MARGIN) / band_height, in_band = (y - STORYBOARD_MARGIN) % band_height;
  // The rows of cells above are written: their cells are no longer needed.
  const int first = std::min(band * STORYBOARD_COLUMNS, added());
  if (first > first_kept_) {
    kept_.erase(kept_.begin(), kept_.begin() + (first - first_kept_));
    first_kept_ = first;
  }
  for (int column = 0; column < STORYBOARD_COLUMNS; ++column) {
    const int i = band * STORYBOARD_COLUMNS + column;
    if (i >= added() || i < first_kept_) break;
    const Cell& cell = kept_[size_t(i - first_kept_)];
    uint8_t* at = out + size_t(cell_x(i)) * 4;
    if (in_band < cell_height_) {
      std::copy_n(&cell.rgba[size_t(in_band) * cell_width_ * 4], size_t(cell_width_) * 4, at);
      continue;
    }
    // The label strip: the label's text drawn into this one row.
    const int text_top = cell_height_ + (STORYBOARD_LABEL_HEIGHT - GLYPH_HEIGHT * GLYPH_SCALE) / 2;
    draw_text_row(at + 2 * 4, cell_width_ - 2, in_band - text_top, cell.label);
  }
}
