// An open photo decoded at the size the screen needs: ours (libjpeg's DCT scaling to the smallest
// of 1/8, 1/4, 1/2 and 1 that still reaches the size, then a shrink by area, the upright turn and
// the mipmaps) against libvips' thumbnail (shrink-on-load, then its own reduce), the peer the
// choice was made against. Real photographs from the Debian packages scripts/fetch_photos.sh
// fetches, at their own size and made into 12-megapixel JPEGs, each decoded for a 1080p screen at
// scale 1.8 (long side 1342) and for 4K (2700).
//
//   open_photo_decode_bench [PHOTO_SOURCES]   (default build/photo-sources)
#include <benchmark/benchmark.h>
#include <vips/vips.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "photos/open_photo_decode.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> photos(const fs::path& sources) {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& e : fs::recursive_directory_iterator(sources, error))
    if (e.path().extension() == ".jpg" && e.file_size() > (1u << 20)) found.push_back(e.path().string());
  std::sort(found.begin(), found.end());
  if (found.size() > 4) found.resize(4);
  return found;
}

void ours(benchmark::State& state, std::string path, uint32_t side) {
  for (auto _ : state) {
    OpenPhotoImage image = decode_open_photo(path, side);
    benchmark::DoNotOptimize(image.levels.data());
    if (image.empty()) state.SkipWithError("does not decode");
  }
}

void thumbnail(benchmark::State& state, std::string path, uint32_t side) {
  for (auto _ : state) {
    VipsImage* out = nullptr;
    if (vips_thumbnail(path.c_str(), &out, int(side), "size", VIPS_SIZE_DOWN, nullptr) != 0) {
      state.SkipWithError(vips_error_buffer());
      vips_error_clear();
      break;
    }
    size_t bytes = 0;
    void* pixels = vips_image_write_to_memory(out, &bytes);
    benchmark::DoNotOptimize(pixels);
    g_free(pixels);
    g_object_unref(out);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (VIPS_INIT(argv[0]) != 0) return 1;
  vips_concurrency_set(1);  // one core each, as a worker of the show decodes
  vips_cache_set_max(0);
  const fs::path sources = argc > 1 ? argv[1] : "build/photo-sources";
  const std::vector<std::string> files = photos(sources);
  if (files.empty()) {
    std::fprintf(stderr, "open_photo_decode_bench: no JPEGs over 1 MiB under %s (scripts/fetch_photos.sh)\n",
                 sources.c_str());
    return 1;
  }
  for (const std::string& file : files)
    for (const uint32_t side : {1342u, 2700u}) {
      const std::string name = fs::path(file).filename().string() + "/" + std::to_string(side);
      benchmark::RegisterBenchmark(("ours/" + name).c_str(), ours, file, side)->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("vips/" + name).c_str(), thumbnail, file, side)->Unit(benchmark::kMillisecond);
    }
  benchmark::RunSpecifiedBenchmarks();
  vips_shutdown();
}
