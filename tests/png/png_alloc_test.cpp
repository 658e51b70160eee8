// The decoder's allocations stay in proportion to its input and its image: a tiny file with a
// huge header is rejected before any large buffer exists, and a stream that inflates far beyond
// the image costs no memory for the bytes the rows never read. This binary replaces the global
// operator new to record the largest single request and the peak of live bytes while a decode
// runs.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <new>

#include "png/png_decode.h"
#include "png/result_codes.h"
#include "tests/png/bit_writer.h"
#include "tests/png/png_builder.h"

namespace {
size_t largest_request = 0;
size_t live_bytes = 0;
size_t peak_bytes = 0;  // live bytes counted as the allocator's usable size of each block
}

// Not inlined: GCC would otherwise see malloc and free behind new and delete and warn.
[[gnu::noinline]] void* operator new(size_t size) {
  if (size > largest_request) largest_request = size;
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  live_bytes += malloc_usable_size(p);
  if (live_bytes > peak_bytes) peak_bytes = live_bytes;
  return p;
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
  if (!p) return;
  live_bytes -= malloc_usable_size(p);
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

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
      {"8192 × 8192 RGBA", {.width = 8192, .height = 8192, .colour_type = 6}, Bytes(40, 0), PNG_ROWS_TRUNCATED},
      {"16384 × 16384 grey, interlaced", {.width = 16384, .height = 16384, .interlace_method = 1}, Bytes(40, 0),
       PNG_ROWS_TRUNCATED},
      {"2^28 wide, height 0", {.width = 1u << 28, .height = 0}, Bytes{}, PNG_OK},
      {"2^27 × 1 grey: rows need what the data cannot hold", {.width = 1u << 27, .height = 1}, Bytes(40, 0),
       PNG_ROWS_TRUNCATED},
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

// A grey image whose stream is one literal 0 and then `matches` matches of 258 zeros, each in
// two bits (1-bit codes for length 258 and distance 1): 4.65 million of them make a file of
// 1.2 MB that inflates to 1.2 GB, of which the rows read the first million bytes.
Bytes zeros_bomb(size_t matches, bool final_block) {
  BitWriter w;
  const DynamicCodes c = dynamic_block(w, final_block, lengths_with(286, {{0, 2}, {256, 2}, {285, 1}}), {1});
  c.litlen.write(w, 0);
  for (size_t i = 0; i < matches; i++) {
    c.litlen.write(w, 285);
    c.dist.write(w, 0);
  }
  c.litlen.write(w, 256);
  const Bytes idat = w.zlib();
  return png_file({ihdr_chunk({.width = 1000, .height = 1000}), chunk("IDAT", idat), iend_chunk()});
}

struct Decoded {
  uint32_t code;
  size_t peak;  // live bytes at most, beyond those before the call
  Bytes pixels;
};

Decoded decode_counting(const Bytes& file, bool exact) {
  PngInfo info;
  Bytes pixels;
  const size_t before = live_bytes;
  peak_bytes = live_bytes;
  const uint32_t code = exact ? png_decode_exact(file, info, pixels) : png_decode(file, info, pixels);
  return {code, peak_bytes - before, std::move(pixels)};
}

TEST(PngDecodeAllocation, StreamFarBeyondTheImageCostsNoMemory) {
  const Bytes bomb = zeros_bomb(4650000, true);
  ASSERT_LT(bomb.size(), 1300000u);
  const Decoded fast = decode_counting(bomb, false);
  EXPECT_EQ(fast.code, 0u);  // a valid stream: the image is the first million bytes
  Bytes black(4000000, 0);
  for (size_t i = 3; i < black.size(); i += 4) black[i] = 255;
  EXPECT_TRUE(fast.pixels == black);
  EXPECT_LT(fast.peak, size_t{64} << 20);
}

// The same kind of stream, 12 MB long, through both decoders, and cut short of its final block
// (which the fast inflater hands to the exact one): the exact decoder's codes, and memory still
// bounded by the image (a million bytes of rows, four of pixels), not by the stream.
TEST(PngDecodeAllocation, StreamBeyondTheImageGivesTheExactCodes) {
  for (const bool final_block : {true, false}) {
    const Bytes bomb = zeros_bomb(46500, final_block);
    const Decoded fast = decode_counting(bomb, false);
    const Decoded exact = decode_counting(bomb, true);
    EXPECT_EQ(fast.code, exact.code) << final_block;
    EXPECT_EQ(fast.code == 0, final_block);
    EXPECT_TRUE(fast.pixels == exact.pixels);
    EXPECT_LT(fast.peak, size_t{10} << 20) << final_block;
    EXPECT_LT(exact.peak, size_t{10} << 20) << final_block;
  }
}

}  // namespace
