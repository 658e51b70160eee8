// Decompression speed of zlib_decompress beside zlib's uncompress and libdeflate on the same
// streams, in one run: the zlib streams of scripts/corpus.sh (a tar of C++ headers and the cmake
// binary at levels 1, 6 and 9) and the image data of its larger PNG photographs; without the
// corpus, generated text, photo rows and incompressible bytes. The exact decoder runs too, as
// the figure before the fast one. At the end, per stream, each decoder's speed as a multiple of
// zlib's (above 1: faster than zlib). With --paired N, a plainer timing of ours against libdeflate
// in turns, which holds up better on a noisy machine.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "png/zlib_stream.h"
#include "tests/png/corpus_files.h"
#include "tests/png/inflate_samples.h"

namespace {

struct Stream {
    std::string name;
    std::vector<uint8_t> zlib;
    size_t output_size = 0;
};

std::vector<Stream> load_streams() {
    std::vector<Stream> streams;
    auto add = [&](std::string name, std::vector<uint8_t> zlib) {
        std::vector<uint8_t> out;
        if (zlib_decompress(zlib, out) != 0) {
            std::fprintf(stderr, "inflate_bench: %s does not decode, left out\n", name.c_str());
            return;
        }
        streams.push_back({std::move(name), std::move(zlib), out.size()});
    };
    for (const auto& path : corpus::files("zlib", ".zz")) add(path.filename().string(), corpus::read(path));
    for (const auto& path : corpus::files("photos", ".png")) {
        std::vector<uint8_t> png = corpus::read(path);
        if (png.size() >= 400000) add("idat " + corpus::label(path), corpus::idat_of(png));
    }
    if (streams.empty()) {
        std::fprintf(stderr, "inflate_bench: no corpus (scripts/corpus.sh), generated streams only\n");
        add("generated text", samples::zlib_compress(samples::text(1 << 22)));
        add("generated photo rows", samples::zlib_compress(samples::photo_rows(1280, 960)));
        add("generated incompressible", samples::zlib_compress(samples::random_bytes(1 << 22)));
    }
    return streams;
}

// "portable": zlib_decompress without the processor extensions (no BMI2). "libdeflate raw": its
// deflate decoder alone, without the zlib wrapper's Adler-32 check, which zlib_decompress does not
// make either (the PNG's CRCs and the rows' own checks are what it relies on): the stricter peer.
const char* const DECODERS[] = {"zlib_decompress", "exact", "uncompress", "libdeflate", "portable", "libdeflate raw"};
constexpr int DECODER_COUNT = 6;

// One decode of `s` by decoder number `decoder` (an index into DECODERS) into `out`, which is
// pre-sized, as the PNG decoder does. False if the decoder failed.
bool decode_once(const Stream& s, int decoder, std::vector<uint8_t>& out, libdeflate_decompressor* d) {
    switch (decoder) {
        case 0: return zlib_decompress(s.zlib, out) == 0 && out.size() == s.output_size;
        case 1: return zlib_decompress_with(s.zlib, out, {.exact = true}) == 0 && out.size() == s.output_size;
        case 4:
            return zlib_decompress_with(s.zlib, out, {.cpu = CPU_PORTABLE}) == 0 && out.size() == s.output_size;
        case 2: {
            uLongf size = uLongf(out.size());
            return uncompress(out.data(), &size, s.zlib.data(), uLong(s.zlib.size())) == Z_OK;
        }
        case 5: {
            size_t size = 0;
            return s.zlib.size() >= 6 && libdeflate_deflate_decompress(d, s.zlib.data() + 2, s.zlib.size() - 6,
                                                                       out.data(), out.size(), &size) ==
                                             LIBDEFLATE_SUCCESS;
        }
        default: {
            size_t size = 0;
            return libdeflate_zlib_decompress(d, s.zlib.data(), s.zlib.size(), out.data(), out.size(), &size) ==
                   LIBDEFLATE_SUCCESS;
        }
    }
}

void decode(benchmark::State& state, const Stream* s, int decoder) {
    std::vector<uint8_t> out(s->output_size);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        if (!decode_once(*s, decoder, out, d)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_decompressor(d);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s->output_size));
}

// --paired N: ours, portable, and libdeflate's two decoders take turns, one decode each a
// round, and each keeps its fastest of N rounds. Back-to-back runs of one decoder drift by
// several per cent on a shared machine; taking turns puts every slow spell on all of them.
int run_paired(const std::vector<Stream>& streams, int rounds) {
    const int decoders[] = {0, 4, 3, 5};
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::printf("MB/s of output, fastest of %d rounds taken in turns; last columns: our time over libdeflate's,\n"
                "through its zlib decoder and its raw deflate one (at most 1: as fast or faster)\n",
                rounds);
    std::printf("%-52s %8s %8s %8s %8s %8s %8s\n", "stream", "ours", "portable", "libdefl", "ld raw", "ours/ld",
                "/ld raw");
    double worst = 0;
    for (const Stream& s : streams) {
        std::vector<uint8_t> out(s.output_size);
        double best[4] = {1e30, 1e30, 1e30, 1e30};
        for (int r = 0; r < rounds; r++)
            for (int k = 0; k < 4; k++) {
                const auto start = std::chrono::steady_clock::now();
                if (!decode_once(s, decoders[k], out, d)) {
                    std::fprintf(stderr, "inflate_bench: %s failed to decode\n", s.name.c_str());
                    return 1;
                }
                const std::chrono::duration<double> t = std::chrono::steady_clock::now() - start;
                best[k] = std::min(best[k], t.count());
            }
        auto speed = [&](int k) { return double(s.output_size) / best[k] / 1e6; };
        worst = std::max(worst, best[0] / best[2]);
        std::printf("%-52s %8.0f %8.0f %8.0f %8.0f %8.3f %8.3f\n", s.name.c_str(), speed(0), speed(1), speed(2),
                    speed(3), best[0] / best[2], best[0] / best[3]);
    }
    std::printf("most, of our time over libdeflate's: %.3f\n", worst);
    libdeflate_free_decompressor(d);
    return 0;
}

// The console output, then one line per stream: every decoder's speed over zlib's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(const std::vector<Stream>& streams) : streams_(streams) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With repetitions, the fastest run counts: the others were slowed by the machine's other work.
        for (const Run& run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (run.run_type != Run::RT_Iteration || it == run.counters.end()) continue;
            double& best = speed_[run.benchmark_name()];
            best = std::max(best, it->second.value);
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nMB/s of output (0: not run); last columns: our time over libdeflate's, through its zlib\n"
                    "decoder and its raw deflate one (at most 1: as fast or faster); with repetitions, each\n"
                    "decoder's fastest run (--benchmark_enable_random_interleaving spreads the machine's slow\n"
                    "spells over all of them)\n");
        std::printf("%-52s %8s %8s %8s %8s %8s %8s %8s\n", "stream", "zlib", "ours", "portable", "exact", "libdefl",
                    "ours/ld", "/ld raw");
        for (const Stream& s : streams_) {
            auto speed = [&](int d) { return speed_["inflate/" + std::string(DECODERS[d]) + "/" + s.name] / 1e6; };
            if (speed(0) <= 0) continue;
            std::printf("%-52s %8.0f %8.0f %8.0f %8.0f %8.0f %8.2f %8.2f\n", s.name.c_str(), speed(2), speed(0),
                        speed(4), speed(1), speed(3), speed(3) > 0 ? speed(3) / speed(0) : 0.0,
                        speed(5) > 0 ? speed(5) / speed(0) : 0.0);
        }
    }

private:
    const std::vector<Stream>& streams_;
    std::map<std::string, double> speed_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--paired") {
        const int rounds = std::atoi(argv[2]);
        if (rounds < 1) {
            std::fprintf(stderr, "usage: %s --paired ROUNDS (at least 1), or Google Benchmark's flags\n", argv[0]);
            return 2;
        }
        return run_paired(load_streams(), rounds);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const std::vector<Stream> streams = load_streams();
    for (const Stream& s : streams)
        for (int d = 0; d < DECODER_COUNT; d++)
            benchmark::RegisterBenchmark(("inflate/" + std::string(DECODERS[d]) + "/" + s.name).c_str(), decode, &s, d)
                ->Unit(benchmark::kMillisecond);
    RatioReporter reporter(streams);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
