// phone_photos SOURCES OUT COUNT: COUNT photos as a phone makes them, for hallshow-make's
// benchmarks, from the photographs in SOURCES (scripts/fetch_photos.sh): 12-megapixel JPEGs of
// quality 92, 4000 x 3000 landscapes and portraits, most portraits stored on their side with EXIF
// orientation 6 as a phone held upright stores them, each with a capture time a minute after the
// last. A source gives several photos, each a different part of it (whole, mirrored, one of its
// corners or another window of it enlarged), so that no two are near-copies of one another.
#include <vips/vips8>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using vips::VImage;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: phone_photos SOURCES OUT COUNT\n");
    return 2;
  }
  if (VIPS_INIT(argv[0]) != 0) return 1;
  const fs::path out = argv[2];
  const int count = std::atoi(argv[3]);
  std::vector<fs::path> sources;
  for (const auto& e : fs::recursive_directory_iterator(argv[1])) {
    const std::string ext = e.path().extension().string();
    if (ext != ".jpg" && ext != ".png") continue;
    try {
      VImage h = VImage::new_from_file(e.path().c_str(), VImage::option()->set("fail_on", VIPS_FAIL_ON_WARNING));
      (void)h.avg();
      // Photographs, not test patterns: large enough, in colour.
      if (h.width() >= 400 && h.height() >= 300 && h.bands() == 3 && e.path().filename() != "truncated.jpg")
        sources.push_back(e.path());
    } catch (const vips::VError&) {
    }
  }
  std::sort(sources.begin(), sources.end());
  if (sources.empty()) {
    std::fprintf(stderr, "phone_photos: no photographs in %s (run scripts/fetch_photos.sh)\n", argv[1]);
    return 1;
  }
  fs::create_directories(out);
  for (int i = 0; i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "IMG_%04d.jpg", i);
    const fs::path path = out / name;
    if (fs::exists(path)) continue;
    const int n = static_cast<int>(sources.size());
    const int variant = i / n;
    auto load = [&](const fs::path& source) {
      VImage whole = VImage::thumbnail(source.c_str(), 100000, VImage::option()->set("size", VIPS_SIZE_DOWN));
      if (whole.bands() > 3) whole = whole.extract_band(0, VImage::option()->set("n", 3));
      return whole.copy_memory();
    };
    VImage image = load(sources[i % n]);
    // A part of the source: whole, mirrored, or a corner of it.
    if (variant == 1) image = image.flip(VIPS_DIRECTION_HORIZONTAL);
    if (variant >= 2 && variant < 6) {
      const int w = image.width() * 2 / 3, h = image.height() * 2 / 3;
      image = image.extract_area(variant % 2 ? 0 : image.width() - w, variant < 4 ? 0 : image.height() - h, w, h);
    }
    // Beyond those, a window of a half to two thirds of it, each somewhere else, every other one
    // mirrored: a thousand photos from a few dozen sources, no two the same picture.
    if (variant >= 6) {
      const double side = 0.5 + 0.04 * (variant % 5), fx = (37 * variant % 100) / 100.0, fy = (61 * variant % 100) / 100.0;
      const int w = static_cast<int>(image.width() * side), h = static_cast<int>(image.height() * side);
      image = image.extract_area(static_cast<int>(fx * (image.width() - w)), static_cast<int>(fy * (image.height() - h)), w, h);
      if (variant % 2) image = image.flip(VIPS_DIRECTION_HORIZONTAL);
    }
    // A corner that is hardly more than one colour is no photograph: the middle instead (never the
    // whole, which another photo already is). A smooth photo's whole is kept as it is.
    if (variant >= 2 && image.deviate() < 20) {
      const VImage whole = load(sources[i % n]);
      const int w = whole.width() * 2 / 3, h = whole.height() * 2 / 3;
      image = whole.extract_area((whole.width() - w) / 2, (whole.height() - h) / 2, w, h);
    }
    const bool portrait = i % 5 >= 3;
    const int W = portrait ? 3000 : 4000, H = portrait ? 4000 : 3000;
    const double scale = std::max(double(W) / image.width(), double(H) / image.height());
    image = image.resize(scale, VImage::option()->set("kernel", VIPS_KERNEL_LINEAR));
    image = image.extract_area((image.width() - W) / 2, (image.height() - H) / 2, W, H).cast(VIPS_FORMAT_UCHAR);
    // Stored on its side, turned upright by its orientation.
    if (portrait && i % 5 == 3) {
      image = image.rot(VIPS_ANGLE_D270).copy();
      image.set(VIPS_META_ORIENTATION, 6);
    }
    char taken[32];
    std::snprintf(taken, sizeof taken, "2024:06:%02d %02d:%02d:00", 1 + i / 1440, (i / 60) % 24, i % 60);
    image.set("exif-ifd2-DateTimeOriginal", taken);
    image.jpegsave(path.c_str(), VImage::option()->set("Q", 92));
  }
  std::printf("phone_photos: %d photos in %s\n", count, out.c_str());
  return 0;
}
