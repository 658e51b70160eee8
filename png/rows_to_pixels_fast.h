#pragma once
// The fast way from an image's decompressed rows to its RGBA pixels.
#include <cstdint>
#include <vector>

#include "png/image_sizes.h"
#include "png/png_info.h"
#include "png/rgba_conversion.h"

// The fast way, for images without interlace: no raw image. 8-bit RGB and RGBA rows are
// reconstructed straight into the RGBA pixels, the prior row read back from there; every other
// format goes a row at a time through a line buffer and is converted while the row is in cache.
//
// Rows are taken as the inflater makes them final (add), so that they are unfiltered while
// still in cache. A bad filter type or palette index makes every later add return false: the
// reference way must then run again from the start, so that a failure leaves exactly its
// leftovers. `cpu` masks the processor extensions (cpu_features.h) it may use.
class FastRows {
 public:
  FastRows(const PngInfo& info, uint32_t bpp, const ImageSizes& sizes, uint32_t cpu, std::vector<uint8_t>& pixels);
  // Every row not done yet that lies whole within the first `available` bytes of `data`.
  bool add(const uint8_t* data, uint64_t available);
  // The rows done so far are to be done again from data that may differ.
  void restart() {
    rows_done_ = 0;
    failed_ = info_.interlace_method != 0;
  }
  bool complete() const { return !failed_ && rows_done_ == info_.height; }

 private:
  bool add_row(const uint8_t* data, uint64_t y);

  const PngInfo& info_;
  const uint32_t bpp_;
  const ImageSizes& sizes_;
  const uint32_t cpu_;
  std::vector<uint8_t>& pixels_;
  std::vector<uint8_t> lines_;  // two line buffers, for formats other than 8-bit RGB and RGBA
  PaletteWords palette_;         // of an 8-bit palette image
  uint64_t rows_done_ = 0;
  int64_t prior_line_ = -1;     // where the prior reconstructed row is: -1 none, 0/1 a line buffer,
                                // 2 the filtered bytes of a None row in the data
  bool failed_ = false;
};

// All rows at once.
bool rows_to_pixels_fast(const uint8_t* data, const PngInfo& info, uint32_t bpp, const ImageSizes& sizes,
                         uint32_t cpu, std::vector<uint8_t>& pixels);
