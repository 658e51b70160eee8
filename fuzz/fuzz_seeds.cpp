// Writes a fuzz target's seed corpus: fuzz_seeds TARGET DIRECTORY. The seeds come from the
// generators of the tests, so nothing binary is kept in the tree.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/png/bit_writer.h"
#include "tests/png/corpus_files.h"
#include "tests/png/inflate_samples.h"

namespace {

using Seeds = std::vector<std::vector<uint8_t>>;

// Pieces of the real files are cut to this much input, or this much output.
constexpr size_t SEED_INPUT_BYTES = 1024;
constexpr size_t SEED_OUTPUT_BYTES = 4096;

// zlib streams of every kind of sample, with every block type zlib makes; and hand-built
// streams for what zlib never writes (symbols 286/287, runs crossing into the distance
// lengths, several block types in a row).
Seeds inflate_seeds() {
    Seeds seeds;
    const std::vector<std::vector<uint8_t>> data = {
        {}, {'x'}, samples::text(600), samples::runs(900), samples::random_bytes(300), samples::photo_rows(12, 12)};
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const auto& d : data)
        for (int level : {0, 1, 6, 9})
            for (int strategy : strategies) {
                if (level == 0 && strategy != Z_DEFAULT_STRATEGY) continue;
                seeds.push_back(samples::zlib_compress(d, level, strategy, level == 1 ? 10 : 15));
            }

    seeds.push_back(mixed_blocks_stream());

    BitWriter crossing;
    crossing.block(true, 2);
    dynamic_header(crossing, 258, 3, {{18, 86}, {2}, {2}, {18, 127}, {18, 8}, {2}, {2}, {16, 0}});
    crossing.code(0, 2).code(1, 2).code(3, 2).code(1, 2).code(2, 2);
    seeds.push_back(crossing.zlib());

    // Real streams, when scripts/corpus.sh has run, in pieces that inflate to little: a whole
    // stream of a photograph's image data makes megabytes on every run, and a fuzzer spending its
    // minute on those explores nothing. So the start of each photograph's image data and of each
    // corpus stream (which then fails where it is cut), and the first rows of a photograph as a
    // stream of their own, complete.
    for (const auto& path : corpus::files("photos", ".png")) {
        std::vector<uint8_t> idat = corpus::idat_of(corpus::read(path));
        std::vector<uint8_t> rows(SEED_OUTPUT_BYTES);
        uLongf produced = uLongf(rows.size());
        uLong consumed = uLong(idat.size());
        const int r = uncompress2(rows.data(), &produced, idat.data(), &consumed);
        if ((r == Z_OK || r == Z_BUF_ERROR) && produced > 0) {
            rows.resize(produced);
            seeds.push_back(samples::zlib_compress(rows, 6));
        }
        idat.resize(std::min<size_t>(idat.size(), SEED_INPUT_BYTES));
        seeds.push_back(idat);
    }
    for (const auto& path : corpus::files("zlib", ".zz")) {
        std::vector<uint8_t> stream = corpus::read(path);
        stream.resize(std::min<size_t>(stream.size(), SEED_INPUT_BYTES));
        seeds.push_back(stream);
    }
    return seeds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds TARGET DIRECTORY\n");
        return 2;
    }
    const std::string target = argv[1], dir = argv[2];
    Seeds seeds;
    if (target == "inflate") {
        seeds = inflate_seeds();
    } else {
        std::fprintf(stderr, "fuzz_seeds: no seeds for target '%s'\n", target.c_str());
        return 2;
    }
    for (size_t i = 0; i < seeds.size(); i++) {
        const std::string path = dir + "/seed_" + std::to_string(i);
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(seeds[i].data()), std::streamsize(seeds[i].size()));
        if (!f) {
            std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
