// The table-driven inflater against the exact one, which is its oracle: for every input the same
// result code and, on success, the same bytes; with a kept prefix, the same code again and the
// prefix. Inputs are cuts and single-byte corruptions of valid streams, generated and real.
#include <gtest/gtest.h>

#include <string>

#include "png/zlib_stream.h"
#include "tests/png/bit_writer.h"
#include "tests/png/corpus_files.h"
#include "tests/png/inflate_samples.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
    uint32_t code;
    Bytes out;
};

Outcome inflate(const Bytes& input, const InflateOptions& options) {
    const Bytes exact_size(input);  // the sanitizer sees any read past the input
    Outcome o;
    o.code = zlib_decompress_with(exact_size, o.out, options);
    return o;
}

// Every decoder (the table-driven one on each processor path) and keep against the exact full
// decode; false (with a failure recorded) on the first difference, so that a broken decoder does
// not flood the log.
bool same_everywhere(const Bytes& input, const std::string& what, bool with_keeps = true) {
    const Outcome exact = inflate(input, {.exact = true});
    for (const uint32_t cpu : {CPU_ANY, CPU_PORTABLE}) {
        const Outcome fast = inflate(input, {.cpu = cpu});
        EXPECT_EQ(fast.code, exact.code) << what << ", processor extensions " << cpu;
        if (fast.code != exact.code) return false;
        if (exact.code == 0 && fast.out != exact.out) {
            ADD_FAILURE() << what << ", processor extensions " << cpu << ": other bytes";
            return false;
        }
    }
    if (!with_keeps) return true;
    struct Keep {
        uint64_t bytes;
        bool exact;
    };
    const uint64_t half = exact.code == 0 ? exact.out.size() / 2 : 1000;
    for (const auto [keep, exact_decoder] : {Keep{0, false}, Keep{half, false}, Keep{half, true}}) {
        {
            const Outcome kept = inflate(input, {.keep = keep, .exact = exact_decoder});
            EXPECT_EQ(kept.code, exact.code) << what << ", keeping " << keep << (exact_decoder ? ", exact" : "");
            if (kept.code != exact.code) return false;
            if (exact.code == 0 && Bytes(exact.out.begin(), exact.out.begin() + long(keep)) != kept.out) {
                ADD_FAILURE() << what << ", keeping " << keep << ": not the prefix";
                return false;
            }
        }
    }
    return true;
}

// Cuts at every `step`-th length and every byte replaced by each of `values` (XOR masks).
void cuts_and_corruptions(const Bytes& stream, const std::string& what, size_t step,
                          std::initializer_list<uint8_t> masks, bool with_keeps = true) {
    if (!same_everywhere(stream, what)) return;
    for (size_t cut = 0; cut < stream.size(); cut += step)
        if (!same_everywhere(Bytes(stream.begin(), stream.begin() + long(cut)), what + " cut at " + std::to_string(cut),
                             with_keeps))
            return;
    for (size_t at = 0; at < stream.size(); at += step)
        for (const uint8_t mask : masks) {
            Bytes bad = stream;
            bad[at] ^= mask;
            if (!same_everywhere(bad, what + " byte " + std::to_string(at) + " ^ " + std::to_string(mask), with_keeps))
                return;
        }
}

TEST(InflateDifferential, GeneratedStreamsCutAndCorrupted) {
    struct Source {
        const char* name;
        Bytes data;
    };
    const Source sources[] = {
        {"text", samples::text(1000, 21)},
        {"runs", samples::runs(1000, 22)},
        {"photo rows", samples::photo_rows(12, 12, 23)},
        {"random", samples::random_bytes(200, 24)},
    };
    struct Mode {
        const char* name;
        int level, strategy;
    };
    const Mode modes[] = {{"level 1", 1, Z_DEFAULT_STRATEGY}, {"level 6", 6, Z_DEFAULT_STRATEGY},
                          {"level 9", 9, Z_DEFAULT_STRATEGY}, {"fixed", 6, Z_FIXED},
                          {"huffman only", 9, Z_HUFFMAN_ONLY}, {"rle", 9, Z_RLE},
                          {"stored", 0, Z_DEFAULT_STRATEGY}};
    for (const Source& s : sources)
        for (const Mode& m : modes)
            cuts_and_corruptions(samples::zlib_compress(s.data, m.level, m.strategy),
                                 std::string(s.name) + ", " + m.name, 1, {0xFF, 0x01});
}

// Streams long enough for the fast loop to run most of the way, with matches at every distance
// from 1 to past a word and lengths around the word multiples, cut and corrupted at spaced places.
TEST(InflateDifferential, LongStreamsThroughTheFastLoop) {
    Bytes data;
    uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    while (data.size() < 200000) {
        const uint32_t distance = 1 + next() % 40, length = 3 + next() % 70;
        for (uint32_t k = 0; k < 1 + next() % 9; k++) data.push_back(uint8_t(next()));
        if (data.size() < distance) continue;
        for (uint32_t k = 0; k < length; k++) data.push_back(data[data.size() - distance]);
    }
    Bytes rows = samples::photo_rows(300, 200, 31);
    for (const Bytes& d : {data, rows, samples::text(100000, 32)})
        for (int level : {1, 6, 9}) {
            const Bytes stream = samples::zlib_compress(d, level, Z_DEFAULT_STRATEGY);
            // What the decoder reports final is final: the bytes of the full decode, at the time of
            // the report; with a kept prefix, never beyond it.
            for (const uint64_t keep : {uint64_t{UINT64_MAX}, uint64_t{d.size() / 3}}) {
                int reports = 0;
                uint64_t last = 0;
                Bytes out;
                const auto check = [&](const uint8_t* output, uint64_t final_bytes) {
                    ++reports;
                    EXPECT_TRUE(final_bytes == 0 || final_bytes > last) << "level " << level;
                    EXPECT_LE(final_bytes, std::min<uint64_t>(keep, d.size()));
                    EXPECT_TRUE(std::equal(output, output + final_bytes, d.begin())) << "level " << level;
                    last = final_bytes;
                };
                ASSERT_EQ(zlib_decompress_with(stream, out, {.keep = keep, .progress = check}), 0u);
                EXPECT_GE(reports, int(std::min<uint64_t>(keep, d.size()) / INFLATE_PROGRESS_STEP) - 1);
            }
            cuts_and_corruptions(stream, "long stream of " + std::to_string(d.size()) + " at level " + std::to_string(level),
                                 stream.size() / 23, {0xFF, 0x10}, false);
        }
}

// Small hand-made streams, every byte replaced by every other value: codes that zlib never
// writes (incomplete, one-symbol, lengths 286 and 287, deep sparse codes) and dense matches.
TEST(InflateDifferential, HandMadeStreamsEveryByteValue) {
    std::vector<std::pair<std::string, Bytes>> streams;
    streams.emplace_back("mixed blocks", mixed_blocks_stream());
    {
        BitWriter w;  // one-symbol distance code, literal code of 15-bit codes
        std::vector<uint8_t> lit(286, 0);
        lit['x'] = 1;
        lit[256] = 2;
        lit[258] = 3;
        for (uint32_t s = 0; s < 8; s++) lit['a' + s] = 15;
        const DynamicCodes c = dynamic_block(w, true, lit, {1});
        for (uint32_t s : {uint32_t('x'), uint32_t('a'), uint32_t('h'), 258u}) c.litlen.write(w, s);
        c.dist.write(w, 0);
        c.litlen.write(w, 256);
        streams.emplace_back("incomplete deep codes", w.zlib());
    }
    {
        BitWriter w;
        const DynamicCodes c = dynamic_block(w, true, lengths_with(286, {{'a', 2}, {256, 2}, {285, 1}}), {1});
        c.litlen.write(w, 'a');
        for (int i = 0; i < 12; i++) {
            c.litlen.write(w, 285);
            c.dist.write(w, 0);
        }
        c.litlen.write(w, 256);
        streams.emplace_back("dense matches", w.zlib());
    }
    // Found by fuzzing: a fixed block whose first literal, with nothing to keep, meets an empty array.
    streams.emplace_back("first byte beyond an empty kept prefix", Bytes{0x28, 0x15, 0xab, 0, 0, 0, 0x79, 0, 0x79});
    for (const auto& [name, stream] : streams) {
        if (!same_everywhere(stream, name)) continue;
        for (size_t at = 0; at < stream.size(); at++)
            for (int v = 0; v < 256; v++) {
                Bytes bad = stream;
                bad[at] = uint8_t(v);
                if (!same_everywhere(bad, name + " byte " + std::to_string(at) + " = " + std::to_string(v))) break;
            }
    }
}

// Past a whole window the fast loop checks a distance against the window alone, so every distance
// symbol is met there, the assigned ones with their largest extra bits and the two the format
// forbids (30 and 31), each followed by ones to the end of the bit buffer.
TEST(InflateDifferential, EveryDistanceSymbolBeyondTheFirstWindow) {
    for (uint32_t symbol = 0; symbol < 32; symbol++) {
        BitWriter w;
        w.block(true, 1).fixed_symbol('a');
        for (int i = 0; i < 130; i++) w.fixed_symbol(285).fixed_distance(0);  // 33,541 bytes
        w.fixed_symbol(257).fixed_distance(symbol);
        if (symbol < 30) w.bits(~0u, symbol < 4 ? 0 : symbol / 2 - 1);
        for (int i = 0; i < 40; i++) w.fixed_symbol(255);  // nine one bits each
        w.fixed_symbol(256);
        same_everywhere(w.zlib(), "distance symbol " + std::to_string(symbol));
    }
}

// The corpus's zlib streams whole, then the start of each cut and corrupted at a few hundred places.
TEST(InflateDifferential, CorpusStreams) {
    const auto files = corpus::files("zlib", ".zz");
    if (files.empty()) GTEST_SKIP() << "no corpus: run scripts/corpus.sh";
    for (const auto& path : files) {
        const Bytes stream = corpus::read(path);
        const Bytes original = corpus::read(path.parent_path() / path.stem().stem());
        for (const uint32_t cpu : {CPU_ANY, CPU_PORTABLE}) {
            Bytes out;
            ASSERT_EQ(zlib_decompress_with(stream, out, {.cpu = cpu}), 0u) << path << ", extensions " << cpu;
            EXPECT_TRUE(out == original) << path << ", extensions " << cpu;
        }
        cuts_and_corruptions(Bytes(stream.begin(), stream.begin() + long(std::min<size_t>(stream.size(), 6000))),
                             path.filename().string() + " (first 6000 bytes)", 149, {0xFF, 0x04}, false);
    }
}

}  // namespace
