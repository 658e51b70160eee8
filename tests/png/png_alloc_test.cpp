// The decoder's allocations stay in proportion to its input: a tiny file with a huge header
// is rejected before any large buffer exists. This binary replaces the global operator new
// to record the largest single request made while a decode runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "png/png_decode.h"
#include "png/result_codes.h"
#include "tests/png/png_builder.h"

namespace {
size_t largest_request = 0;
}

void* operator new(size_t size) {
  if (size > largest_request) largest_request = size;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

TEST(PngDecodeAllocation, HugeHeadersInSmallFilesAllocateLittle) {
  struct Case {
    const char* name;
    PngHeader header;
    Bytes data;  // uncompressed image data, zlib-compressed into the file
    uint32_t code;
  };
  const Case cases[] = {
      {"65535 × 65535 RGBA", {.width = 65535, .height = 65535, .colour_type = 6}, Bytes(40, 0), PNG_IMAGE_TOO_LARGE},
      {"8192 × 8192 RGBA", {.width = 8192, .height = 8192, .colour_type = 6}, Bytes(40, 0), PNG_DATA_TOO_SMALL},
      {"16384 × 16384 grey, interlaced", {.width = 16384, .height = 16384, .interlace_method = 1}, Bytes(40, 0),
       PNG_DATA_TOO_SMALL},
      {"2^28 wide, height 0", {.width = 1u << 28, .height = 0}, Bytes{}, PNG_OK},
      {"2^27 × 1 grey: rows need what the data cannot hold", {.width = 1u << 27, .height = 1}, Bytes(40, 0),
       PNG_DATA_TOO_SMALL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = simple_png(c.header, c.data);
    EXPECT_LE(file.size(), 100u);
    PngInfo info;
    Bytes pixels;
    largest_request = 0;
    EXPECT_EQ(png_decode(file, info, pixels), c.code);
    EXPECT_LT(largest_request, size_t{64} << 10);
  }
}

TEST(PngDecodeAllocation, ValidImageAllocatesAboutItsSize) {
  // 1000 × 1000 grey: the biggest buffers are the 1 MB of decompressed data and 4 MB of pixels.
  const Bytes rows(1000 * 1001, 0);
  const Bytes file = simple_png({.width = 1000, .height = 1000}, rows);
  PngInfo info;
  Bytes pixels;
  largest_request = 0;
  ASSERT_EQ(png_decode(file, info, pixels), 0u);
  EXPECT_EQ(pixels.size(), 4000000u);
  EXPECT_LE(largest_request, 4000000u);
}

}  // namespace
