// Decompression throughput, in MB/s of output, of zlib_decompress beside zlib's uncompress on
// the same streams: a text corpus, a photo's IDAT data and incompressible bytes. At the end
// the ratio of the two for each stream.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <string>

#include "png/inflate.h"
#include "tests/png/inflate_samples.h"

namespace {

struct Corpus {
    std::vector<uint8_t> data;
    std::vector<uint8_t> stream;
};

const Corpus& corpus(int which) {
    static const std::vector<Corpus> all = [] {
        std::vector<Corpus> list;
        for (auto data : {samples::text(1 << 20), samples::photo_rows(640, 480), samples::random_bytes(1 << 20)})
            list.push_back({data, samples::zlib_compress(data)});
        return list;
    }();
    return all[size_t(which)];
}
const char* const CORPUS_NAMES[] = {"text", "photo_idat", "incompressible"};

void BM_zlib_decompress(benchmark::State& state) {
    const Corpus& c = corpus(int(state.range(0)));
    std::vector<uint8_t> out(c.data.size());  // pre-sized, as the PNG decoder does
    for (auto _ : state) {
        if (zlib_decompress(c.stream, out) != 0 || out.size() != c.data.size()) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.data.size()));
    state.SetLabel(CORPUS_NAMES[state.range(0)]);
}

void BM_zlib_uncompress(benchmark::State& state) {
    const Corpus& c = corpus(int(state.range(0)));
    std::vector<uint8_t> out(c.data.size());
    for (auto _ : state) {
        uLongf size = uLongf(out.size());
        if (uncompress(out.data(), &size, c.stream.data(), uLong(c.stream.size())) != Z_OK) state.SkipWithError("zlib failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.data.size()));
    state.SetLabel(CORPUS_NAMES[state.range(0)]);
}

BENCHMARK(BM_zlib_decompress)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_zlib_uncompress)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The console output, then one line per stream: our speed as a fraction of zlib's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end()) speed_[run.benchmark_name()] = it->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (int i = 0; i < 3; i++) {
            const std::string arg = "/" + std::to_string(i);
            const double ours = speed_["BM_zlib_decompress" + arg], zlib = speed_["BM_zlib_uncompress" + arg];
            if (ours > 0 && zlib > 0)
                std::printf("%-15s zlib_decompress %8.1f MB/s, uncompress %8.1f MB/s, ratio %.3f\n", CORPUS_NAMES[i],
                            ours / 1e6, zlib / 1e6, ours / zlib);
        }
    }

private:
    std::map<std::string, double> speed_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
