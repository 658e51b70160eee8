// lit_share BOARD.png WxH: how much of each frame of a hallshow-capture storyboard (frames of W x H)
// is lit, a pixel being lit when its luma is above 12 of 255: the median and the smallest share,
// and how many frames are under 0.85. The choreography fills the screen when the median is high.
#include <vips/vips8>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tools/capture/storyboard.h"

int main(int argc, char** argv) {
  int w = 0, h = 0;
  if (argc != 3 || std::sscanf(argv[2], "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) {
    std::fprintf(stderr, "usage: lit_share BOARD.png WxH\n");
    return 2;
  }
  if (VIPS_INIT(argv[0]) != 0) return 1;
  vips::VImage board = vips::VImage::new_from_file(argv[1]).extract_band(0, vips::VImage::option()->set("n", 3));
  board = board.cast(VIPS_FORMAT_UCHAR).copy_memory();
  size_t bytes = 0;
  const auto* p = static_cast<const uint8_t*>(board.write_to_memory(&bytes));
  const Storyboard layout(w, h);
  std::vector<double> shares;
  for (int c = 0; layout.cell_y(c) + layout.cell_height() <= board.height(); ++c) {
    long lit = 0;
    for (int y = layout.cell_y(c); y < layout.cell_y(c) + layout.cell_height(); ++y)
      for (int x = layout.cell_x(c); x < layout.cell_x(c) + layout.cell_width(); ++x) {
        const uint8_t* q = p + 3 * (static_cast<size_t>(y) * board.width() + x);
        lit += 0.299 * q[0] + 0.587 * q[1] + 0.114 * q[2] > 12;
      }
    shares.push_back(static_cast<double>(lit) / (layout.cell_width() * layout.cell_height()));
  }
  if (shares.empty()) return 1;
  std::vector<double> sorted = shares;
  std::sort(sorted.begin(), sorted.end());
  const long under = std::count_if(shares.begin(), shares.end(), [](double s) { return s < 0.85; });
  std::printf("frames %zu  median lit %.3f  smallest %.3f  under 0.85: %ld", shares.size(), sorted[sorted.size() / 2],
              sorted.front(), under);
  // Which, as runs of frames: the fades at either end are expected, anything between is a fault.
  const char* sep = " (frames ";
  for (size_t i = 0; i < shares.size(); ++i) {
    if (shares[i] >= 0.85 || (i > 0 && shares[i - 1] < 0.85)) continue;
    size_t j = i;
    while (j + 1 < shares.size() && shares[j + 1] < 0.85) ++j;
    std::printf(j > i ? "%s%zu-%zu" : "%s%zu", sep, i, j);
    sep = ", ";
  }
  std::printf("%s\n", under ? ")" : "");
  return 0;
}
