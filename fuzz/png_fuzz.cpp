// libFuzzer entry for png_decode: whatever the bytes, the call ends with a result code, reads
// nothing outside the input and, on success, hands back exactly width × height RGBA pixels.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "png/png_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PngInfo info;
  std::vector<uint8_t> pixels;
  const uint32_t code = png_decode({data, size}, info, pixels);
  if (code == 0 && pixels.size() != size_t{info.width} * info.height * 4) __builtin_trap();
  if (info.palette.size() % 4 != 0 || info.palette.size() > 1024) __builtin_trap();
  return 0;
}
