// Decode and upload time of each texture path on the photo sizes the show meets: a 1920 × 1080
// JPEG and PNG and a 12-megapixel JPEG, the picture square at 4096 (the side any GL limit above
// 4096 gives). The upload runs under the offscreen context and ends with glFinish, so that the
// driver's copy is counted. The files are made once, photograph-like: smooth gradients with noise.
#include <GL/gl.h>
#include <SDL.h>
#include <SDL_image.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "app/offscreen_gl.h"
#include "photos/texture_loaders.h"

namespace {

constexpr int SQUARE_SIDE = 4096;

struct Photo {
  const char* name;
  int width, height;
  bool jpeg;
};
constexpr Photo PHOTOS[] = {
    {"hd.jpg", 1920, 1080, true},
    {"hd.png", 1920, 1080, false},
    {"12mp.jpg", 4000, 3000, true},
};

const std::filesystem::path& photo_folder() {
  static const std::filesystem::path folder = [] {
    char pattern[] = "/tmp/hallshow-texture-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (const Photo& p : PHOTOS) {
      SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, p.width, p.height, 24, SDL_PIXELFORMAT_RGB24);
      for (int y = 0; y < p.height; ++y) {
        auto* row = static_cast<uint8_t*>(s->pixels) + size_t(y) * s->pitch;
        for (int x = 0; x < p.width; ++x) {
          const int base[3] = {x * 255 / p.width, y * 255 / p.height, (x + y) * 255 / (p.width + p.height)};
          for (int c = 0; c < 3; ++c) row[x * 3 + c] = uint8_t(std::clamp(base[c] + noise(rng), 0, 255));
        }
      }
      const std::string path = (std::filesystem::path(pattern) / p.name).string();
      if ((p.jpeg ? IMG_SaveJPG(s, path.c_str(), 90) : IMG_SavePNG(s, path.c_str())) != 0) std::abort();
      SDL_FreeSurface(s);
    }
    return std::filesystem::path(pattern);
  }();
  return folder;
}

std::string photo_path(int index) { return (photo_folder() / PHOTOS[index].name).string(); }

OffscreenGl& context() {
  static std::unique_ptr<OffscreenGl> gl = [] {
    std::string error;
    auto made = OffscreenGl::create(64, 64, error);
    if (!made) {
      std::fprintf(stderr, "no offscreen GL: %s\n", error.c_str());
      std::abort();
    }
    return made;
  }();
  gl->make_current();
  return *gl;
}

enum class Path { File, Picture, Fallback };

TextureImage decode(Path path, const std::string& file) {
  switch (path) {
    case Path::File: return decode_file_texture(file);
    case Path::Picture: return decode_picture_image(file, SQUARE_SIDE);
    case Path::Fallback: return decode_png_fallback(file);
  }
  return {};
}

void report(benchmark::State& state, int photo, const TextureImage& image) {
  state.SetLabel(std::string(PHOTOS[photo].name) + " -> " + std::to_string(image.width) + "x" +
                 std::to_string(image.height));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.pixels.size()));
}

template <Path P>
void BM_Decode(benchmark::State& state) {
  const int photo = int(state.range(0));
  const std::string file = photo_path(photo);
  TextureImage image;
  for (auto _ : state) {
    image = decode(P, file);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  if (image.kind == TextureImage::Kind::None) state.SkipWithError("nothing decoded");
  report(state, photo, image);
}

template <Path P>
void BM_Upload(benchmark::State& state) {
  const int photo = int(state.range(0));
  const TextureImage image = decode(P, photo_path(photo));
  if (image.kind == TextureImage::Kind::None) {
    state.SkipWithError("nothing decoded");
    return;
  }
  context();
  GLint max = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
  if (GLint(image.width) > max || GLint(image.height) > max) {
    state.SkipWithError("larger than this GL's texture limit");
    return;
  }
  for (auto _ : state) {
    upload_texture_image(image, 1);
    glFinish();
  }
  report(state, photo, image);
}

// Photo indexes: 0 the HD JPEG, 1 the HD PNG, 2 the 12-megapixel JPEG.
BENCHMARK(BM_Decode<Path::File>)->Name("file_texture/decode")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Upload<Path::File>)->Name("file_texture/upload")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<Path::Picture>)->Name("picture/decode")->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Upload<Path::Picture>)->Name("picture/upload")->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<Path::Fallback>)->Name("png_fallback/decode")->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Upload<Path::Fallback>)->Name("png_fallback/upload")->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  photo_folder();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(photo_folder());
  return 0;
}
