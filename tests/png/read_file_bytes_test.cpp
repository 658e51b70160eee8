// read_file_bytes: the whole file as raw bytes, or nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "png/png_decode.h"
#include "png/read_file_bytes.h"
#include "png/result_codes.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

void write(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TEST(ReadFileBytes, WholeFileAsRawBytes) {
  const TempDir dir(TempDir::WorkingDirectory::Keep);
  std::vector<uint8_t> bytes = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n', 0, 0, '\r', 255};
  for (int i = 0; i < 70000; ++i) bytes.push_back(uint8_t(i * 7));
  write(dir.path() / "a.png", bytes);
  EXPECT_EQ(read_file_bytes((dir.path() / "a.png").string()), bytes);
}

TEST(ReadFileBytes, NothingToReadGivesEmpty) {
  const TempDir dir(TempDir::WorkingDirectory::Keep);
  write(dir.path() / "empty", {});
  fs::create_directories(dir.path() / "folder");
  const fs::path cases[] = {dir.path() / "empty", dir.path() / "missing", dir.path() / "folder", ""};
  for (const fs::path& p : cases) {
    SCOPED_TRACE(p.string());
    const std::vector<uint8_t> bytes = read_file_bytes(p.string());
    EXPECT_TRUE(bytes.empty());
    PngInfo info;
    std::vector<uint8_t> pixels;
    EXPECT_EQ(png_decode(bytes, info, pixels), PNG_NO_INPUT);
  }
}

}  // namespace
