// Decode speed of png_decode beside libpng, libspng and stb_image, all to 8-bit RGBA, in one run:
// every PNG photograph of the corpus (scripts/corpus.sh), and four generated pictures made by
// libpng with its default filter choice (a photo-sized RGB image, RGBA with transparency, a
// palette image, an interlaced one; smooth content with noise, as photographs are). The exact
// decoder runs too, as the figure before the fast one. At the end, per picture, each decoder's
// speed as a multiple of libpng's and ours over the fastest peer (1 or more: no peer is faster).
#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <map>
#include <string>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <vector>

#include "png/png_decode.h"
#include "tests/png/corpus_files.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Picture {
  std::string name;
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

std::vector<Picture> generated_pictures() {
  return [] {
    std::mt19937 rng(42);
    std::vector<Picture> all;
    {
      Bytes rows = make_rows(1920, 1080, 3, rng);
      all.push_back({"generated RGB 1920x1080", 1920, 1080, 2, 0, encode(1920, 1080, 2, 0, rows, {}, {})});
    }
    {
      Bytes rows = make_rows(1024, 768, 4, rng);
      for (size_t i = 3; i < rows.size(); i += 4) rows[i] = (i / 4) % 1024 < 300 ? 0 : rows[i];  // a clear band
      all.push_back({"generated RGBA 1024x768", 1024, 768, 6, 0, encode(1024, 768, 6, 0, rows, {}, {})});
    }
    {
      Bytes rows = make_rows(1024, 768, 1, rng);
      std::vector<png_color> palette(256);
      Bytes alphas(64);
      for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)};
      for (int i = 0; i < 64; ++i) alphas[i] = uint8_t(i * 4);
      all.push_back({"generated palette 1024x768", 1024, 768, 3, 0, encode(1024, 768, 3, 0, rows, palette, alphas)});
    }
    {
      Bytes rows = make_rows(1024, 768, 3, rng);
      all.push_back({"generated RGB interlaced 1024x768", 1024, 768, 2, 1, encode(1024, 768, 2, 1, rows, {}, {})});
    }
    return all;
  }();
}

// The corpus's PNG photographs that libpng reads, then the generated pictures.
std::vector<Picture> load_pictures() {
  std::vector<Picture> all;
  for (const auto& path : corpus::files("photos", ".png")) {
    Bytes file = corpus::read(path);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) continue;
    all.push_back({corpus::label(path), image.width, image.height, file[25], file[28], std::move(file)});
    png_image_free(&image);
  }
  if (all.empty()) std::fprintf(stderr, "png_decode_bench: no corpus (scripts/corpus.sh), generated pictures only\n");
  for (Picture& p : generated_pictures()) all.push_back(std::move(p));
  return all;
}

void report(benchmark::State& state, const Picture& p) {
  const double megapixels = double(p.width) * p.height / 1e6;
  state.counters["MP/s"] = benchmark::Counter(megapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void decode(benchmark::State& state, const Picture* picture, int decoder) {
  const Picture& p = *picture;
  Bytes pixels(size_t{p.width} * p.height * 4);
  PngInfo info;
  for (auto _ : state) {
    bool ok = true;
    switch (decoder) {
      case 0:
        ok = png_decode(p.file, info, pixels) == 0;
        break;
      case 1:
        ok = png_decode_exact(p.file, info, pixels) == 0;
        break;
      case 2: {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ok = png_image_begin_read_from_memory(&image, p.file.data(), p.file.size());
        image.format = PNG_FORMAT_RGBA;
        ok = ok && png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
        break;
      }
      case 3: {
        spng_ctx* ctx = spng_ctx_new(0);
        spng_set_png_buffer(ctx, p.file.data(), p.file.size());
        ok = spng_decode_image(ctx, pixels.data(), pixels.size(), SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) == 0;
        spng_ctx_free(ctx);
        break;
      }
      default: {
        int w = 0, h = 0, n = 0;
        stbi_uc* decoded = stbi_load_from_memory(p.file.data(), int(p.file.size()), &w, &h, &n, 4);
        ok = decoded != nullptr;
        benchmark::DoNotOptimize(decoded);
        stbi_image_free(decoded);
      }
    }
    if (!ok) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(pixels.data());
  }
  report(state, p);
}

const char* const DECODERS[] = {"png_decode", "exact", "libpng", "libspng", "stb_image"};

// The console output, then one line per picture: speeds over libpng's, and ours over the best peer.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(const std::vector<Picture>& pictures) : pictures_(pictures) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // With repetitions, the fastest run counts: the others were slowed by the machine's other work.
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      double& best = time_[run.benchmark_name()];
      best = best > 0 ? std::min(best, run.GetAdjustedCPUTime()) : run.GetAdjustedCPUTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nspeed over libpng's (libpng in ms per decode); last column: ours over the fastest peer\n");
    std::printf("%-52s %6s %8s %6s %6s %6s %6s %6s\n", "picture", "format", "libpng", "ours", "exact", "spng", "stb",
                "best");
    for (const Picture& p : pictures_) {
      auto t = [&](int d) { return time_["png/" + std::string(DECODERS[d]) + "/" + p.name]; };
      if (t(0) <= 0 || t(2) <= 0) continue;
      const double best_peer = std::min({t(2), t(3) > 0 ? t(3) : 1e30, t(4) > 0 ? t(4) : 1e30});
      const std::string format = std::to_string(p.file[25]) + "/" + std::to_string(p.file[24]) + (p.file[28] ? "i" : "");
      std::printf("%-52s %6s %8.2f %6.2f %6.2f %6.2f %6.2f %6.2f\n", p.name.c_str(), format.c_str(), t(2),
                  t(2) / t(0), t(2) / t(1), t(2) / t(3), t(2) / t(4), best_peer / t(0));
    }
  }

 private:
  const std::vector<Picture>& pictures_;
  std::map<std::string, double> time_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const std::vector<Picture> pictures = load_pictures();
  for (const Picture& p : pictures)
    for (int d = 0; d < 5; ++d)
      benchmark::RegisterBenchmark(("png/" + std::string(DECODERS[d]) + "/" + p.name).c_str(), decode, &p, d)
          ->Unit(benchmark::kMillisecond);
  RatioReporter reporter(pictures);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
