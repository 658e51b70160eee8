// Every file the show reads (photos, tracks, music) replaced by something that is no regular file:
// a FIFO, whose open or first read waits for a writer for ever; a link to /dev/zero, which never
// ends; a folder. Each reader must give up at once, with nothing read. The calls run in a child
// process with a time and memory limit, so that a hang or a runaway read fails the test instead of
// taking it down.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string_view>
#include <functional>

#include "photos/image_size.h"
#include "photos/load_sequence.h"
#include "photos/open_photo_decode.h"
#include "photos/texture_loaders.h"
#include "png/read_file_bytes.h"
#include "show/mp3_stream.h"
#include "sync/track_file.h"
#include "tests/support/bounded_call.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Make = std::function<void(const fs::path&)>;
using Read = std::function<bool(const std::string&)>;  // true when something was read

struct Special {
  const char* what;
  Make make;
};
const Special SPECIALS[] = {
    {"a FIFO", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
    {"a link to /dev/zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }},
    {"a folder", [](const fs::path& p) { fs::create_directory(p); }},
};

// The show's steps for catalogue entry `index` (0 is 00.jpg on the picture path, 1 is 01.png on
// the file path), each as the load sequence calls it.
Read step(uint32_t index, int which) {
  return [index, which](const std::string&) {
    TextureLoadSteps steps(64, nullptr);
    const LoadJob job{index == 0 ? LoaderKind::Picture : LoaderKind::FileTexture, index, nullptr};
    switch (which) {
      case 0: return steps.slow_decode(job);
      case 1: return steps.decoded_bytes(job) != 0;
      case 2: return steps.decode_peak_bytes(job) != 0;
      default: return steps.decode(job).kind != TextureImage::Kind::None;
    }
  };
}

struct Reader {
  const char* what;
  const char* path;
  Read read;
};
const Reader READERS[] = {
    {"read_file_bytes", "hall.photo/01.png", [](const std::string& p) { return !read_file_bytes(p).empty(); }},
    {"image_size_of_file", "hall.photo/01.png", [](const std::string& p) { return image_size_of_file(p).width != 0; }},
    {"decode_file_texture", "hall.photo/01.png",
     [](const std::string& p) { return decode_file_texture(p).kind != TextureImage::Kind::None; }},
    {"decode_picture_image", "hall.photo/00.jpg",
     [](const std::string& p) { return decode_picture_image(p, 64).kind != TextureImage::Kind::None; }},
    {"the file path's decode", "hall.photo/01.png", step(1, 3)},
    {"the file path's size", "hall.photo/01.png", step(1, 1)},
    {"the file path's peak", "hall.photo/01.png", step(1, 2)},
    {"the picture path's slow check", "hall.photo/00.jpg", step(0, 0)},
    {"the picture path's decode", "hall.photo/00.jpg", step(0, 3)},
    {"the picture path's peak", "hall.photo/00.jpg", step(0, 2)},
    {"load_track_file", "kestos/base_back.x.kesto",
     [](const std::string& p) {
       SyncTrack track;
       return load_track_file(p, track) != TRACK_FILE_UNOPENABLE || !track.keys.empty();
     }},
    {"the music", "e12.mp3", [](const std::string& p) { return Mp3Stream().open(p.c_str(), 44100); }},
    {"an open photo's header", "hall.photo/44.jpg",
     [](const std::string& p) { return read_open_photo_header_of_file(p).format != ImageFormat::Unknown; }},
    {"an open photo's decode", "hall.photo/44.jpg", [](const std::string& p) { return !decode_open_photo(p, 1024).empty(); }},
};

TEST(SpecialFiles, AreRefusedAtOnceWithNothingRead) {
  for (const Special& special : SPECIALS) {
    for (const Reader& reader : READERS) {
      const TempDir show;
      fs::create_directories(fs::path(reader.path).parent_path().empty() ? "." : fs::path(reader.path).parent_path());
      special.make(reader.path);
      const bool refused = returns_within(
          [&] {
            if (reader.read(reader.path)) throw "read";
          },
          5, size_t(256) << 20);
      EXPECT_TRUE(refused) << special.what << " as " << reader.path << ", through " << reader.what;
    }
  }
}

// A photo file larger than any photo (here sparse, 3 GiB of nothing behind the format's signature)
// is refused unread, whatever its header says.
TEST(SpecialFiles, PhotosLargerThanAnyPhotoAreRefusedUnread) {
  for (const Reader& reader : READERS) {
    if (std::string_view(reader.path).substr(0, 11) != "hall.photo/" || reader.what == std::string("read_file_bytes"))
      continue;
    const TempDir show;
    fs::create_directories("hall.photo");
    {
      std::ofstream(reader.path, std::ios::binary)
          << (std::string_view(reader.path).ends_with(".jpg") ? "\xFF\xD8\xFF\xE0" : "\x89PNG\r\n\x1A\n");
    }
    fs::resize_file(reader.path, uint64_t(3) << 30);
    const bool refused = returns_within([&] { reader.read(reader.path); }, 5, size_t(64) << 20);
    EXPECT_TRUE(refused) << reader.path << ", through " << reader.what;
  }
}

}  // namespace
