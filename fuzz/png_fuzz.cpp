// libFuzzer entry for png_decode: whatever the bytes, the call ends with a result code, reads
// nothing outside the input and, on success, hands back exactly width × height RGBA pixels; and
// png_decode_exact, the reference, gives the same code, header fields, palette, colour key and
// pixels, failure leftovers included; and so does png_decode on each narrower processor path
// (portable, SSE2 alone), whatever this machine has.
//
// The reference and the narrower paths are the slow part of a run, so they check a sample of the
// inputs, chosen by their hash: every input whose pixels are few, and one in eight of the others.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "png/png_decode.h"

namespace {

constexpr size_t ALWAYS_CHECKED_PIXEL_BYTES = 4096;
constexpr size_t SAMPLE_ONE_IN = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PngInfo info;
  std::vector<uint8_t> pixels;
  const uint32_t code = png_decode({data, size}, info, pixels);
  if (code == 0 && pixels.size() != size_t{info.width} * info.height * 4) __builtin_trap();
  if (info.palette.size() % 4 != 0 || info.palette.size() > 1024) __builtin_trap();

  const size_t hash = std::hash<std::string_view>{}({reinterpret_cast<const char*>(data), size});
  if (pixels.size() > ALWAYS_CHECKED_PIXEL_BYTES && hash % SAMPLE_ONE_IN != 0) return 0;

  PngInfo exact_info;
  std::vector<uint8_t> exact_pixels;
  if (png_decode_exact({data, size}, exact_info, exact_pixels) != code) __builtin_trap();
  if (exact_pixels != pixels || exact_info.palette != info.palette) __builtin_trap();
  if (exact_info.width != info.width || exact_info.height != info.height ||
      exact_info.colour_type != info.colour_type || exact_info.bit_depth != info.bit_depth ||
      exact_info.interlace_method != info.interlace_method || exact_info.key_defined != info.key_defined ||
      exact_info.key_r != info.key_r || exact_info.key_g != info.key_g || exact_info.key_b != info.key_b)
    __builtin_trap();
  for (const uint32_t cpu : {CPU_PORTABLE, CPU_SSE2}) {
    PngInfo path_info;
    std::vector<uint8_t> path_pixels;
    if (png_decode_with({data, size}, path_info, path_pixels, cpu) != code || path_pixels != pixels) __builtin_trap();
  }
  return 0;
}
