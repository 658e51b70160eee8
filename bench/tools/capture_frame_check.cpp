// capture_frame_check FRAMES.y4m INDEX FRAME.png: whether frame INDEX of a YUV4MPEG2 file written by
// hallshow-capture equals the PNG (hallshow-capture --at of the same row) converted as the capture
// converts its frames. Exit 0 when equal, 1 when not (with the first differing plane and place).
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tools/capture/yuv420.h"

namespace {

bool read_png(const char* path, int& width, int& height, std::vector<uint8_t>& rgba) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) return false;
  image.format = PNG_FORMAT_RGBA;
  width = int(image.width), height = int(image.height);
  rgba.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: capture_frame_check FRAMES.y4m INDEX FRAME.png\n");
    return 2;
  }
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  if (!read_png(argv[3], width, height, rgba)) {
    std::fprintf(stderr, "capture_frame_check: cannot read %s\n", argv[3]);
    return 2;
  }
  // The conversion reads rows bottom first, as GL gives them.
  std::vector<uint8_t> bottom_up(rgba.size());
  const size_t row = size_t(width) * 4;
  for (int y = 0; y < height; ++y)
    std::copy_n(&rgba[size_t(y) * row], row, &bottom_up[size_t(height - 1 - y) * row]);
  std::vector<uint8_t> expected(yuv420_bytes(width, height));
  rgba_bottom_up_to_yuv420(bottom_up.data(), width, height, expected.data());

  std::ifstream file(argv[1], std::ios::binary);
  std::string line;
  std::getline(file, line);
  const std::string size = " W" + std::to_string(width) + " H" + std::to_string(height) + " ";
  if (line.rfind("YUV4MPEG2", 0) != 0 || line.find(size) == std::string::npos) {
    std::fprintf(stderr, "capture_frame_check: %s is no YUV4MPEG2 file of %dx%d frames\n", argv[1], width, height);
    return 2;
  }
  const long index = std::atol(argv[2]);
  std::vector<uint8_t> frame(expected.size());
  for (long i = 0; i <= index; ++i) {
    if (!std::getline(file, line) || line != "FRAME" ||
        !file.read(reinterpret_cast<char*>(frame.data()), std::streamsize(frame.size()))) {
      std::fprintf(stderr, "capture_frame_check: %s has no frame %ld\n", argv[1], index);
      return 2;
    }
  }
  for (size_t i = 0; i < frame.size(); ++i)
    if (frame[i] != expected[i]) {
      const size_t luma = size_t(width) * height;
      std::printf("frame %ld differs: %s byte %zu is %d, the PNG gives %d\n", index,
                  i < luma ? "Y'" : i < luma * 5 / 4 ? "Cb" : "Cr", i, frame[i], expected[i]);
      return 1;
    }
  std::printf("frame %ld equals the PNG\n", index);
  return 0;
}
