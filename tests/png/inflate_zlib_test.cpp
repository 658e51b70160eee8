// The inflater against zlib as an oracle: zlib compresses, the inflater must give the bytes
// back exactly; and no cut of a valid stream makes it read outside its input.
#include "png/zlib_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/png/inflate_samples.h"

namespace {

struct Sample {
    const char* name;
    std::vector<uint8_t> data;
};

const std::vector<Sample>& all_samples() {
    static const std::vector<Sample> list = [] {
        std::vector<uint8_t> mixed = samples::text(300000);
        const auto runs = samples::runs(300000), noise = samples::random_bytes(148576);
        const auto rows = samples::photo_rows(200, 500);
        mixed.insert(mixed.end(), runs.begin(), runs.end());
        mixed.insert(mixed.end(), noise.begin(), noise.end());
        mixed.insert(mixed.end(), rows.begin(), rows.end());
        mixed.resize(1 << 20);
        return std::vector<Sample>{
            {"empty", {}},
            {"one_byte", {0x42}},
            {"text", samples::text(40000)},
            {"runs", samples::runs(40000)},
            {"binary", samples::random_bytes(40000)},
            {"photo_rows", samples::photo_rows(64, 64)},
            {"one_mib", mixed},
        };
    }();
    return list;
}

struct Strategy {
    const char* name;
    int value;
};
const Strategy STRATEGIES[] = {
    {"default", Z_DEFAULT_STRATEGY}, {"filtered", Z_FILTERED}, {"huffman_only", Z_HUFFMAN_ONLY},
    {"rle", Z_RLE}, {"fixed", Z_FIXED}};

using Params = std::tuple<size_t, int, size_t>;  // sample, level, strategy

class InflateMatchesZlib : public testing::TestWithParam<Params> {};

TEST_P(InflateMatchesZlib, ByteEqualOutput) {
    const auto [sample, level, strategy] = GetParam();
    const std::vector<uint8_t>& data = all_samples()[sample].data;
    const std::vector<uint8_t> stream = samples::zlib_compress(data, level, STRATEGIES[strategy].value);
    std::vector<uint8_t> out;
    ASSERT_EQ(zlib_decompress(stream, out), INFLATE_OK);
    EXPECT_EQ(out.size(), data.size());
    EXPECT_TRUE(out == data);

    // Pre-sized exactly, too small and too large: the same bytes, the exact size.
    if (data.size() >= (1u << 20)) return;  // the 1 MiB sample once is enough
    for (size_t presize : {data.size(), data.size() / 3, data.size() * 2 + 100}) {
        std::vector<uint8_t> sized(presize, 0xA5);
        ASSERT_EQ(zlib_decompress(stream, sized), INFLATE_OK) << presize;
        EXPECT_TRUE(sized == data) << presize;
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllLevelsAndStrategies, InflateMatchesZlib,
    testing::Combine(testing::Range<size_t>(0, 7), testing::Range(0, 10), testing::Range<size_t>(0, 5)),
    [](const testing::TestParamInfo<Params>& info) {
        return std::string(all_samples()[std::get<0>(info.param)].name) + "_level" +
               std::to_string(std::get<1>(info.param)) + "_" + STRATEGIES[std::get<2>(info.param)].name;
    });

// Smaller windows announce CINFO below 7; distances are not held to them, and zlib never
// goes beyond them anyway.
TEST(InflateMatchesZlibWindows, EveryWindowSize) {
    const std::vector<uint8_t> data = samples::text(100000, 9);
    for (int bits = 9; bits <= 15; bits++) {
        const std::vector<uint8_t> stream = samples::zlib_compress(data, 9, Z_DEFAULT_STRATEGY, bits);
        std::vector<uint8_t> out;
        ASSERT_EQ(zlib_decompress(stream, out), INFLATE_OK) << bits;
        EXPECT_TRUE(out == data) << bits;
    }
}

// Every cut of a valid stream: either a failure or, when only trailer bytes are missing, the
// full output. The exact-size copy lets the sanitizer catch any read past the cut.
TEST(InflateTruncated, EveryCutFailsOrGivesTheOutput) {
    struct Stream {
        const char* what;
        std::vector<uint8_t> data;
        int level;
        int strategy;
    };
    const std::vector<Stream> streams = {
        {"dynamic text", samples::text(3000, 5), 6, Z_DEFAULT_STRATEGY},
        {"fixed runs", samples::runs(3000, 6), 6, Z_FIXED},
        {"stored binary", samples::random_bytes(1500, 7), 0, Z_DEFAULT_STRATEGY},
        {"huffman-only rows", samples::photo_rows(20, 20, 8), 9, Z_HUFFMAN_ONLY},
        {"rle rows", samples::photo_rows(20, 20, 9), 9, Z_RLE},
    };
    for (const Stream& s : streams) {
        const std::vector<uint8_t> full = samples::zlib_compress(s.data, s.level, s.strategy);
        for (size_t cut = 0; cut < full.size(); cut++) {
            const std::vector<uint8_t> part(full.begin(), full.begin() + ptrdiff_t(cut));
            std::vector<uint8_t> out;
            const uint32_t code = zlib_decompress(part, out);
            if (code == INFLATE_OK) {
                EXPECT_GE(cut, full.size() - 4) << s.what << " cut at " << cut;
                EXPECT_TRUE(out == s.data) << s.what << " cut at " << cut;
            } else {
                EXPECT_NE(inflate_describe(code), nullptr) << s.what << " cut at " << cut << ": " << code;
            }
        }
    }
}

// Flipped bits in valid streams: any result but a crash or a read outside the input.
TEST(InflateCorrupted, FlippedBitsNeverReadOutside) {
    const std::vector<uint8_t> full = samples::zlib_compress(samples::text(2000, 11), 9, Z_DEFAULT_STRATEGY);
    samples::Lcg rng(12);
    for (int round = 0; round < 3000; round++) {
        std::vector<uint8_t> bad = full;
        for (int flips = 1 + int(rng.next() % 3); flips > 0; flips--) {
            const size_t bit = rng.next() % (bad.size() * 8);
            bad[bit / 8] ^= uint8_t(1u << (bit % 8));
        }
        bad.resize(bad.size() - rng.next() % 8);
        std::vector<uint8_t> out;
        const uint32_t code = zlib_decompress(bad, out);
        EXPECT_NE(inflate_describe(code), nullptr) << round;
    }
}

}  // namespace
