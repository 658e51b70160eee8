// demo_catalogue CREDITS SOURCES SHOW: fills SHOW/hall.photo/ with the real photographs that
// CREDITS (demo/photo_credits.txt) gives each catalogue file, made with hallshow-make's catalogue
// code from the originals in SOURCES/<package>/ (where scripts/fetch_photos.sh unpacks them):
// cropped around the subject to the size the credits give, in the file's type, cut out as they say.
// The folder is replaced only once every file is made; on any failure the old one stays.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/make/photos/photo_files.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: demo_catalogue CREDITS SOURCES SHOW\n");
    return 2;
  }
  if (!start_photo_library(argv[0])) {
    std::fprintf(stderr, "demo_catalogue: cannot start libvips\n");
    return 1;
  }
  std::ifstream credits(argv[1]);
  if (!credits) {
    std::fprintf(stderr, "demo_catalogue: cannot read %s\n", argv[1]);
    return 1;
  }
  const fs::path sources = argv[2], show = argv[3];
  const fs::path part = show / ".hall.photo.part";
  std::error_code ec;
  fs::remove_all(part, ec);
  fs::create_directories(part, ec);
  if (ec) {
    std::fprintf(stderr, "demo_catalogue: cannot make %s: %s\n", part.c_str(), ec.message().c_str());
    return 1;
  }
  bool failed = false;
  std::string line;
  while (std::getline(credits, line)) {
    std::istringstream words(line);
    std::string file, size, made, package, original;
    if (!(words >> file) || file[0] == '#') continue;
    words >> size >> made >> package >> original;
    int w = 0, h = 0;
    if (std::sscanf(size.c_str(), "%dx%d", &w, &h) != 2 || w < 1 || h < 1) {
      std::fprintf(stderr, "demo_catalogue: %s: size '%s' is not WIDTHxHEIGHT\n", file.c_str(), size.c_str());
      failed = true;
      continue;
    }
    const std::string ext = fs::path(file).extension().string();
    const EntryType type = ext == ".png" ? EntryType::Png : ext == ".gif" ? EntryType::Gif : EntryType::Jpeg;
    const Cutout cutout = made == "cameo" ? Cutout::Cameo : made == "frame" ? Cutout::Frame : made == "iris" ? Cutout::Iris
                        : made == "circle" ? Cutout::Circle : Cutout::None;
    if (cutout == Cutout::None && made != "photo" && made != "palette") {
      std::fprintf(stderr, "demo_catalogue: %s cannot be made as \"%s\"\n", file.c_str(), made.c_str());
      failed = true;
      continue;
    }
    const std::string from = (sources / package / original).string();
    CroppedPhoto photo;
    std::string why;
    if (!make_cover(from, w, h, true, photo, why) ||
        !write_photo_file(photo, type, cutout, made == "palette", (part / file).string(), why)) {
      std::fprintf(stderr, "demo_catalogue: %s from %s: %s\n", file.c_str(), from.c_str(), why.c_str());
      failed = true;
    }
  }
  if (failed) {
    fs::remove_all(part, ec);
    return 1;
  }
  fs::remove_all(show / "hall.photo", ec);
  fs::rename(part, show / "hall.photo", ec);
  if (ec) {
    std::fprintf(stderr, "demo_catalogue: cannot put hall.photo in place: %s\n", ec.message().c_str());
    return 1;
  }
  return 0;
}
