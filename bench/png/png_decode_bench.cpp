// Decode throughput of png_decode beside libpng, libspng and stb_image, all to 8-bit RGBA,
// on four kinds of picture: a photo-sized RGB image, RGBA with transparency, a palette
// image and an interlaced one. The images are made once by libpng with its default filter
// choice; their content is smooth with noise, as photographs are, so that the compressed
// data have a photograph's proportions.
#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <vector>

#include "png/png_decode.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Picture {
  uint32_t width, height;
  int colour_type, interlace;
  Bytes file;
};

void write_to_memory(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void flush_nothing(png_structp) {}

// Photograph-like samples: smooth gradients per channel plus a little noise.
Bytes make_rows(uint32_t w, uint32_t h, int channels, std::mt19937& rng) {
  Bytes rows(size_t{w} * h * channels);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) {
        const int smooth = (int(x) * (c + 1) / 5 + int(y) * (3 - c % 3) / 4 + c * 40) % 256;
        rows[(size_t{y} * w + x) * channels + c] = uint8_t(std::clamp(smooth + noise(rng), 0, 255));
      }
  return rows;
}

Bytes encode(uint32_t w, uint32_t h, int colour_type, int interlace, Bytes& rows, const std::vector<png_color>& palette,
             const Bytes& alphas) {
  const int channels = colour_type == 2 ? 3 : colour_type == 6 ? 4 : 1;
  std::vector<png_bytep> pointers(h);
  for (uint32_t y = 0; y < h; ++y) pointers[y] = rows.data() + size_t{y} * w * channels;
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng could not write the benchmark image");
  }
  png_set_write_fn(png, &out, write_to_memory, flush_nothing);
  png_set_IHDR(png, info, w, h, 8, colour_type, interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
  if (!alphas.empty()) png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
  png_write_info(png, info);
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

const Picture& picture(int kind) {
  static const std::vector<Picture> pictures = [] {
    std::mt19937 rng(42);
    std::vector<Picture> all;
    {
      Bytes rows = make_rows(1920, 1080, 3, rng);
      all.push_back({1920, 1080, 2, 0, encode(1920, 1080, 2, 0, rows, {}, {})});
    }
    {
      Bytes rows = make_rows(1024, 768, 4, rng);
      for (size_t i = 3; i < rows.size(); i += 4) rows[i] = (i / 4) % 1024 < 300 ? 0 : rows[i];  // a clear band
      all.push_back({1024, 768, 6, 0, encode(1024, 768, 6, 0, rows, {}, {})});
    }
    {
      Bytes rows = make_rows(1024, 768, 1, rng);
      std::vector<png_color> palette(256);
      Bytes alphas(64);
      for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)};
      for (int i = 0; i < 64; ++i) alphas[i] = uint8_t(i * 4);
      all.push_back({1024, 768, 3, 0, encode(1024, 768, 3, 0, rows, palette, alphas)});
    }
    {
      Bytes rows = make_rows(1024, 768, 3, rng);
      all.push_back({1024, 768, 2, 1, encode(1024, 768, 2, 1, rows, {}, {})});
    }
    return all;
  }();
  return pictures.at(kind);
}

void report(benchmark::State& state, const Picture& p) {
  const double megapixels = double(p.width) * p.height / 1e6;
  state.counters["MP/s"] = benchmark::Counter(megapixels, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["file_KiB"] = double(p.file.size()) / 1024;
}

void BM_hallshow(benchmark::State& state) {
  const Picture& p = picture(int(state.range(0)));
  PngInfo info;
  Bytes pixels;
  for (auto _ : state) {
    if (png_decode(p.file, info, pixels) != 0) state.SkipWithError("png_decode failed");
    benchmark::DoNotOptimize(pixels.data());
  }
  report(state, p);
}

void BM_libpng(benchmark::State& state) {
  const Picture& p = picture(int(state.range(0)));
  Bytes pixels(size_t{p.width} * p.height * 4);
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, p.file.data(), p.file.size())) state.SkipWithError("libpng");
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) state.SkipWithError("libpng");
    benchmark::DoNotOptimize(pixels.data());
  }
  report(state, p);
}

void BM_spng(benchmark::State& state) {
  const Picture& p = picture(int(state.range(0)));
  Bytes pixels(size_t{p.width} * p.height * 4);
  for (auto _ : state) {
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, p.file.data(), p.file.size());
    if (spng_decode_image(ctx, pixels.data(), pixels.size(), SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0)
      state.SkipWithError("libspng");
    spng_ctx_free(ctx);
    benchmark::DoNotOptimize(pixels.data());
  }
  report(state, p);
}

void BM_stb_image(benchmark::State& state) {
  const Picture& p = picture(int(state.range(0)));
  for (auto _ : state) {
    int w = 0, h = 0, n = 0;
    stbi_uc* pixels = stbi_load_from_memory(p.file.data(), int(p.file.size()), &w, &h, &n, 4);
    if (!pixels) state.SkipWithError("stb_image");
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
  report(state, p);
}

// 0: RGB 1920 × 1080, 1: RGBA 1024 × 768 with transparency, 2: palette 1024 × 768 with tRNS,
// 3: RGB 1024 × 768 interlaced.
void pictures(benchmark::internal::Benchmark* b) {
  b->ArgName("picture")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_hallshow)->Apply(pictures);
BENCHMARK(BM_libpng)->Apply(pictures);
BENCHMARK(BM_spng)->Apply(pictures);
BENCHMARK(BM_stb_image)->Apply(pictures);

}  // namespace

BENCHMARK_MAIN();
