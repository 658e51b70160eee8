// The inflater on hand-built bit streams: result codes, their order, and the output-size rules.
#include "png/zlib_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/png/bit_writer.h"

namespace {

struct Decoded {
    uint32_t code;
    std::vector<uint8_t> out;
};

// Decodes from an exact-size copy, so that the sanitizer sees any read past the input.
Decoded decode(const std::vector<uint8_t>& stream, std::vector<uint8_t> out = {}) {
    const std::vector<uint8_t> input(stream);
    const uint32_t code = zlib_decompress(input, out);
    return {code, std::move(out)};
}

std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

// A final fixed-code block holding `text`.
BitWriter fixed_text(const std::string& text, bool final = true) {
    BitWriter w;
    w.block(final, 1);
    for (unsigned char c : text) w.fixed_symbol(c);
    w.fixed_symbol(256);
    return w;
}

// ---- zlib header -------------------------------------------------------------------------

struct HeaderCase {
    const char* what;
    std::vector<uint8_t> header;
    uint32_t expected;
};

TEST(InflateHeader, ChecksRunInOrder) {
    const std::vector<HeaderCase> cases = {
        {"no input", {}, INFLATE_INPUT_TOO_SHORT},
        {"one byte", {0x78}, INFLATE_INPUT_TOO_SHORT},
        {"default header", {0x78, 0x9C}, INFLATE_OK},
        {"check bits wrong", {0x78, 0x9D}, INFLATE_HEADER_CHECK},
        {"CM 10", {0x7A, 0x10}, INFLATE_HEADER_METHOD},
        {"CINFO 8", {0x88, 0x1C}, INFLATE_HEADER_METHOD},
        {"FDICT with a valid check", {0x78, 0xBB}, INFLATE_HEADER_DICTIONARY},
        {"check tested before method", {0x7A, 0x11}, INFLATE_HEADER_CHECK},
        {"method tested before dictionary", {0x7A, 0x2F}, INFLATE_HEADER_METHOD},
        {"FLEVEL 0 ignored", {0x78, 0x01}, INFLATE_OK},
        {"FLEVEL 1 ignored", {0x78, 0x5E}, INFLATE_OK},
        {"FLEVEL 3 ignored", {0x78, 0xDA}, INFLATE_OK},
        {"CINFO 0 accepted", {0x08, 0x1D}, INFLATE_OK},
    };
    const std::vector<uint8_t> body = fixed_text("ok").zlib();  // header bytes replaced below
    for (const HeaderCase& c : cases) {
        std::vector<uint8_t> stream = c.header;
        if (c.header.size() == 2) stream.insert(stream.end(), body.begin() + 2, body.end());
        const Decoded d = decode(stream);
        EXPECT_EQ(d.code, c.expected) << c.what;
        if (c.expected == INFLATE_OK) {
            EXPECT_EQ(d.out, bytes_of("ok")) << c.what;
        }
    }
}

TEST(InflateHeader, HeaderAloneNeedsABlock) {
    EXPECT_EQ(decode({0x78, 0x9C}).code, INFLATE_INPUT_EXHAUSTED);
}

// ---- trailer and block sequence ----------------------------------------------------------

TEST(InflateBlocks, TrailerIsNeverRead) {
    const std::vector<std::vector<uint8_t>> trailers = {
        {0x00, 0x00, 0x00, 0x00}, {0x12, 0x34, 0x56, 0x78}, {}, {0x01}, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF}};
    for (const auto& trailer : trailers) {
        const Decoded d = decode(fixed_text("abc").zlib(trailer));
        EXPECT_EQ(d.code, INFLATE_OK) << trailer.size() << " trailer bytes";
        EXPECT_EQ(d.out, bytes_of("abc"));
    }
}

TEST(InflateBlocks, NonFinalBlocksNeverSucceed) {
    BitWriter stored;
    for (int i = 0; i < 3; i++) stored.block(false, 0).stored_lengths(0, 0xFFFF);
    BitWriter fixed = fixed_text("abc", false);
    for (const BitWriter* w : {&stored, &fixed}) {
        EXPECT_NE(decode(w->zlib({})).code, INFLATE_OK);
        EXPECT_NE(decode(w->zlib()).code, INFLATE_OK);  // the trailer is taken as a block header
    }
}

TEST(InflateBlocks, MultipleBlocksOfEveryType) {
    BitWriter w = fixed_text("fixed,", false);
    w.block(false, 0).stored_lengths(7, 0xFFFF - 7).bytes(bytes_of("stored,"));
    const DynamicCodes c = dynamic_block(w, true, lengths_with(257, {{'d', 2}, {'y', 2}, {256, 1}}), {0});
    for (char ch : std::string("dyyd")) c.litlen.write(w, uint8_t(ch));
    c.litlen.write(w, 256);
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("fixed,stored,dyyd"));
}

TEST(InflateBlocks, BlockType3FailsInAnyBlock) {
    BitWriter first;
    first.block(true, 3);
    EXPECT_EQ(decode(first.zlib()).code, INFLATE_BAD_BLOCK_TYPE);

    BitWriter later = fixed_text("abc", false);
    later.block(true, 3);
    const Decoded d = decode(later.zlib());
    EXPECT_EQ(d.code, INFLATE_BAD_BLOCK_TYPE);
    // Not trimmed: literals grew the array to 2, then to 2 * 2 + 2.
    ASSERT_EQ(d.out.size(), 6u);
    EXPECT_EQ(std::string(d.out.begin(), d.out.begin() + 3), "abc");
}

// ---- stored blocks -----------------------------------------------------------------------

TEST(InflateStored, EmptyBlockThenNextHeaderAtTheFollowingByte) {
    BitWriter w;
    w.block(false, 0).stored_lengths(0, 0xFFFF);
    w.block(true, 0).stored_lengths(5, 0xFFFF - 5).bytes(bytes_of("hello"));
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("hello"));
}

TEST(InflateStored, AlignmentDropsTheRestOfTheByte) {
    BitWriter w;
    w.block(false, 1).fixed_symbol('x').fixed_symbol(256);  // 18 bits: the stored header ends mid-byte
    w.block(true, 0).bits(0x7F, 3);                          // junk before the boundary
    w.stored_lengths(2, 0xFFFF - 2).bytes(bytes_of("yz"));
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("xyz"));
}

TEST(InflateStored, LengthMustMatchItsComplement) {
    BitWriter w;
    w.block(true, 0).stored_lengths(5, 5).bytes(bytes_of("hello"));
    EXPECT_EQ(decode(w.zlib()).code, INFLATE_STORED_LENGTH_MISMATCH);
}

// LEN and NLEN at byte indices 1..4 (the block header fills byte 0), whole input L = 2 + bytes.
TEST(InflateStored, BoundsOfLenAndData) {
    struct Case {
        const char* what;
        std::vector<uint8_t> body;  // after the header byte 0x01 (final, stored)
        uint32_t expected;
        size_t out_size;  // size of the output afterwards
    };
    const std::vector<Case> cases = {
        {"no LEN at all", {}, INFLATE_BLOCK_PAST_END, 0},
        {"half of LEN", {0x03}, INFLATE_BLOCK_PAST_END, 0},
        {"LEN, no NLEN", {0x03, 0x00}, INFLATE_BLOCK_PAST_END, 0},
        // p + 4 < L holds from here on, yet NLEN's last byte is missing.
        {"NLEN cut", {0x03, 0x00, 0xFC}, INFLATE_INPUT_EXHAUSTED, 0},
        {"LEN 3, no data", {0x03, 0x00, 0xFC, 0xFF}, INFLATE_STORED_PAST_END, 3},
        {"LEN 3, one byte", {0x03, 0x00, 0xFC, 0xFF, 'a'}, INFLATE_INPUT_EXHAUSTED, 3},
        {"LEN 3, two bytes", {0x03, 0x00, 0xFC, 0xFF, 'a', 'b'}, INFLATE_INPUT_EXHAUSTED, 3},
        {"LEN 3, all data", {0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'}, INFLATE_OK, 3},
        {"LEN 0, nothing after", {0x00, 0x00, 0xFF, 0xFF}, INFLATE_OK, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> stream = {0x78, 0x9C, 0x01};
        stream.insert(stream.end(), c.body.begin(), c.body.end());
        const Decoded d = decode(stream);
        EXPECT_EQ(d.code, c.expected) << c.what;
        EXPECT_EQ(d.out.size(), c.out_size) << c.what;
    }
}

TEST(InflateStored, FailedBlockHasGrownTheOutputAlready) {
    BitWriter w;
    w.block(true, 0).stored_lengths(1000, 0xFFFF - 1000).bytes(bytes_of("short"));
    const Decoded d = decode(w.zlib({}));
    EXPECT_EQ(d.code, INFLATE_STORED_PAST_END);
    EXPECT_EQ(d.out.size(), 1000u);
}

// ---- fixed codes -------------------------------------------------------------------------

TEST(InflateFixed, OneLiteralIntoAPresizedArray) {
    const Decoded plain = decode(fixed_text("q").zlib());
    EXPECT_EQ(plain.code, INFLATE_OK);
    EXPECT_EQ(plain.out, bytes_of("q"));

    const Decoded presized = decode(fixed_text("q").zlib(), std::vector<uint8_t>(1000, 0xEE));
    EXPECT_EQ(presized.code, INFLATE_OK);
    EXPECT_EQ(presized.out, bytes_of("q"));
}

TEST(InflateFixed, EveryLiteralValue) {
    BitWriter w;
    w.block(true, 1);
    std::vector<uint8_t> all;
    for (uint32_t s = 0; s < 256; s++) {
        w.fixed_symbol(s);
        all.push_back(uint8_t(s));
    }
    w.fixed_symbol(256);
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, all);
}

TEST(InflateFixed, Symbols286And287AreSkipped) {
    BitWriter w;
    w.block(true, 1).fixed_symbol('a').fixed_symbol(286).fixed_symbol(287).fixed_symbol('b').fixed_symbol(256);
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("ab"));
}

TEST(InflateFixed, DistanceSymbols30And31Fail) {
    for (uint32_t dsym : {30u, 31u}) {
        BitWriter w;
        w.block(true, 1).fixed_symbol('a').fixed_symbol(257).fixed_distance(dsym).fixed_symbol(256);
        EXPECT_EQ(decode(w.zlib()).code, INFLATE_BAD_DISTANCE_SYMBOL) << dsym;
    }
}

TEST(InflateFixed, LongestMatchAtDistanceOne) {
    BitWriter w;
    w.block(true, 1).fixed_symbol('z').fixed_symbol(285).fixed_distance(0).fixed_symbol(256);
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, std::vector<uint8_t>(259, 'z'));
}

TEST(InflateFixed, OverlappingMatchRepeatsCyclically) {
    // "abc" then length 10 at distance 3; length 10 is code 264, distance 3 code 2.
    BitWriter w;
    w.block(true, 1).fixed_symbol('a').fixed_symbol('b').fixed_symbol('c');
    w.fixed_symbol(264).fixed_distance(2).fixed_symbol(256);
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("abcabcabcabca"));
}

TEST(InflateFixed, LengthAndDistanceExtraBits) {
    // Length 17 + 1 (code 268, one extra bit) at distance 7 + 1 (code 5, one extra bit).
    BitWriter w;
    w.block(true, 1);
    for (char c : std::string("01234567")) w.fixed_symbol(uint8_t(c));
    w.fixed_symbol(268).bits(1, 1).fixed_distance(5).bits(1, 1).fixed_symbol(256);
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("01234567" "01234567" "0123456701"));
}

TEST(InflateFixed, Distance32768WhateverTheWindowSays) {
    std::vector<uint8_t> data(32768);
    for (size_t i = 0; i < data.size(); i++) data[i] = uint8_t(i * 7 + (i >> 8));
    for (bool small_window : {false, true}) {
        BitWriter w;
        w.block(false, 0).stored_lengths(32768, 32767).bytes(data);
        // Length 3 (code 257) at distance 24577 + 8191 (code 29, all 13 extra bits set).
        w.block(true, 1).fixed_symbol(257).fixed_distance(29).bits(0x1FFF, 13).fixed_symbol(256);
        const auto stream = small_window ? w.zlib({0, 0, 0, 0}, 0x08, 0x1D) : w.zlib();  // CINFO 0: a 256-byte window
        const Decoded d = decode(stream);
        EXPECT_EQ(d.code, INFLATE_OK);
        std::vector<uint8_t> expected = data;
        expected.insert(expected.end(), data.begin(), data.begin() + 3);
        EXPECT_EQ(d.out, expected);
    }
}

TEST(InflateFixed, DistanceBeforeTheFirstByteFails) {
    struct Case {
        const char* what;
        std::string before;
        uint32_t dsym;
        uint32_t expected;
    };
    const std::vector<Case> cases = {
        {"distance 1 with no output", "", 0, INFLATE_DISTANCE_TOO_FAR},
        {"distance 2 after one byte", "a", 1, INFLATE_DISTANCE_TOO_FAR},
        {"distance 2 after two bytes", "ab", 1, INFLATE_OK},
        {"distance 4 after three bytes", "abc", 3, INFLATE_DISTANCE_TOO_FAR},
    };
    for (const Case& c : cases) {
        BitWriter w;
        w.block(true, 1);
        for (char ch : c.before) w.fixed_symbol(uint8_t(ch));
        w.fixed_symbol(257).fixed_distance(c.dsym).fixed_symbol(256);
        const Decoded d = decode(w.zlib());
        EXPECT_EQ(d.code, c.expected) << c.what;
    }
}

// ---- output size -------------------------------------------------------------------------

TEST(InflateOutput, GrowthOfLiteralsAndMatchesIsLeftAfterFailure) {
    struct Case {
        const char* what;
        std::string literals;
        bool match;  // length 3 at distance 1 after the literals
        size_t out_size;
    };
    const std::vector<Case> cases = {
        {"one literal: 2 * 0 + 2", "a", false, 2},
        {"three literals: then 2 * 2 + 2", "abc", false, 6},
        {"literal then match: 2 * (1 + 3)", "a", true, 8},
    };
    for (const Case& c : cases) {
        BitWriter w;
        w.block(false, 1);
        for (char ch : c.literals) w.fixed_symbol(uint8_t(ch));
        if (c.match) w.fixed_symbol(257).fixed_distance(0);
        w.fixed_symbol(256).block(true, 3);
        const Decoded d = decode(w.zlib());
        EXPECT_EQ(d.code, INFLATE_BAD_BLOCK_TYPE) << c.what;
        EXPECT_EQ(d.out.size(), c.out_size) << c.what;
    }
}

TEST(InflateOutput, MatchEndingAtTheSizeStillGrows) {
    struct Case {
        const char* what;
        size_t presize;
        std::string literals;
        bool match;  // length 3 at distance 1 after the literals
        size_t out_size;
    };
    const std::vector<Case> cases = {
        {"match ends exactly at the size: 2 * (1 + 3)", 4, "a", true, 8},
        {"match ends before the size", 5, "a", true, 5},
        {"literal at the size: 2 * 1 + 2", 1, "ab", false, 4},
        {"literals inside the size", 2, "ab", false, 2},
    };
    for (const Case& c : cases) {
        BitWriter w;
        w.block(false, 1);
        for (char ch : c.literals) w.fixed_symbol(uint8_t(ch));
        if (c.match) w.fixed_symbol(257).fixed_distance(0);
        w.fixed_symbol(256).block(true, 3);
        const Decoded d = decode(w.zlib(), std::vector<uint8_t>(c.presize, 0));
        EXPECT_EQ(d.code, INFLATE_BAD_BLOCK_TYPE) << c.what;
        EXPECT_EQ(d.out.size(), c.out_size) << c.what;
    }
}

TEST(InflateOutput, PresizedArrayIsOverwrittenFromTheStart) {
    const std::vector<uint8_t> garbage(1000, 0xEE);

    const Decoded ok = decode(fixed_text("hello").zlib(), garbage);
    EXPECT_EQ(ok.code, INFLATE_OK);
    EXPECT_EQ(ok.out, bytes_of("hello"));

    BitWriter bad = fixed_text("hello", false);
    bad.block(true, 3);
    const Decoded failed = decode(bad.zlib(), garbage);
    EXPECT_EQ(failed.code, INFLATE_BAD_BLOCK_TYPE);
    ASSERT_EQ(failed.out.size(), 1000u);  // not trimmed to the five bytes written
    EXPECT_EQ(std::string(failed.out.begin(), failed.out.begin() + 5), "hello");
    EXPECT_EQ(failed.out[5], 0xEE);
}

TEST(InflateOutput, TooSmallPresizedArrayGrows) {
    const Decoded d = decode(fixed_text("a longer text than the array").zlib(), std::vector<uint8_t>(3, 0));
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("a longer text than the array"));
}

// A dynamic block in which a match of 258 bytes costs two bits: the densest stream there is.
// 'a' is 10, end of block 11, length code 285 is 0, distance code 0 is 0.
BitWriter dense_matches(int matches, bool end) {
    BitWriter w;
    const DynamicCodes c = dynamic_block(w, true, lengths_with(286, {{'a', 2}, {256, 2}, {285, 1}}), {1});
    c.litlen.write(w, 'a');
    for (int i = 0; i < matches; i++) {
        c.litlen.write(w, 285);
        c.dist.write(w, 0);
    }
    if (end) c.litlen.write(w, 256);
    return w;
}

TEST(InflateOutput, DenseMatchesDecode) {
    const Decoded d = decode(dense_matches(1000, true).zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, std::vector<uint8_t>(1 + 258 * 1000, 'a'));
}

// Doubling alone would take the array to up to twice the output. Growth stops at what the
// rest of the input could still fill, 258 bytes per two bits, so a stream of nothing but such
// matches that runs out leaves no more than the bytes of one bit unused.
TEST(InflateOutput, GrowthStopsAtWhatTheRestOfTheInputCanFill) {
    bool doubling_overshoots = false;
    for (int matches : {300, 700, 1500, 3000}) {
        const BitWriter w = dense_matches(matches, false);
        // The zero bits that pad the last byte decode as further matches.
        const size_t padding = w.data().size() * 8 - w.bit_count();
        const size_t written = 1 + 258 * (size_t(matches) + padding / 2);
        const Decoded d = decode(w.zlib({}));
        EXPECT_EQ(d.code, INFLATE_INPUT_EXHAUSTED) << matches;
        ASSERT_GE(d.out.size(), written) << matches;
        EXPECT_LE(d.out.size(), written + 129) << matches;
        EXPECT_EQ(std::vector<uint8_t>(d.out.begin(), d.out.begin() + ptrdiff_t(written)),
                  std::vector<uint8_t>(written, 'a'));

        size_t size = 2, pos = 1;  // the same stream under doubling alone
        for (size_t m = 0; m < written / 258; m++, pos += 258)
            if (pos + 258 >= size) size = 2 * (pos + 258);
        doubling_overshoots |= size > written + 129;
    }
    EXPECT_TRUE(doubling_overshoots);  // else these cases would not show the ceiling at work
}

TEST(InflateOutput, CeilingOfTheLimitedCall) {
    struct Case {
        const char* what;
        std::vector<uint8_t> stream;
        uint64_t limit;
        uint32_t expected;
    };
    BitWriter stored;
    stored.block(true, 0).stored_lengths(10, 0xFFFF - 10).bytes(bytes_of("0123456789"));
    BitWriter match;
    match.block(true, 1).fixed_symbol('a').fixed_symbol(285).fixed_distance(0).fixed_symbol(256);
    const std::vector<Case> cases = {
        {"literals at the ceiling", fixed_text("abc").zlib(), 3, INFLATE_OK},
        {"literal past the ceiling", fixed_text("abc").zlib(), 2, INFLATE_OUTPUT_LIMIT},
        {"stored block at the ceiling", stored.zlib(), 10, INFLATE_OK},
        {"stored block past the ceiling", stored.zlib(), 9, INFLATE_OUTPUT_LIMIT},
        {"match at the ceiling", match.zlib(), 259, INFLATE_OK},
        {"match past the ceiling", match.zlib(), 258, INFLATE_OUTPUT_LIMIT},
        {"match far past the ceiling", match.zlib(), 10, INFLATE_OUTPUT_LIMIT},
        {"nothing allowed", fixed_text("").zlib(), 0, INFLATE_OK},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out;
        EXPECT_EQ(zlib_decompress_limited(c.stream, out, c.limit), c.expected) << c.what;
        EXPECT_LE(out.size(), c.limit) << c.what;
    }
}

// ---- bounds of the input -----------------------------------------------------------------

TEST(InflateBounds, CodesCutByTheEndOfInput) {
    // "abc" with no end of block, cut after every bit count that leaves a code unfinished.
    const BitWriter full = fixed_text("abc");
    for (size_t bytes = 0; bytes < full.data().size(); bytes++) {
        std::vector<uint8_t> stream = {0x78, 0x9C};
        stream.insert(stream.end(), full.data().begin(), full.data().begin() + ptrdiff_t(bytes));
        EXPECT_EQ(decode(stream).code, INFLATE_INPUT_EXHAUSTED) << bytes << " bytes";
    }
}

TEST(InflateBounds, DynamicHeaderWithNoByteLeft) {
    // A non-final fixed block of 48 - 3 bits leaves the dynamic block's header ending exactly
    // at a byte boundary: 3 + 8 + 9 + 9 + 9 + 7 = 45, plus 3.
    BitWriter w;
    w.block(false, 1).fixed_symbol('a').fixed_symbol(200).fixed_symbol(201).fixed_symbol(202).fixed_symbol(256);
    w.block(true, 2);
    ASSERT_EQ(w.bit_count(), 48u);
    EXPECT_EQ(decode(w.zlib({})).code, INFLATE_DYNAMIC_HEADER_PAST_END);
    EXPECT_EQ(decode(w.zlib({0x00})).code, INFLATE_INPUT_EXHAUSTED);
}

// ---- dynamic blocks ----------------------------------------------------------------------

// Literal/length lengths for 'a' (1 bit) and end of block (1 bit): 257 of them.
std::vector<LengthItem> a_and_end_items() {
    return {{18, 86}, {1}, {18, 127}, {18, 9}, {1}};  // 97 zeros, 'a', 138 + 20 zeros, 256
}

TEST(InflateDynamic, RunsEndingAtAndPastHlitPlusHdist) {
    struct Case {
        const char* what;
        LengthItem run;
        uint32_t hdist;
        uint32_t expected;
    };
    const std::vector<Case> cases = {
        {"16 x3 ends exactly", {16, 0}, 3, INFLATE_OK},
        {"16 x3 one past", {16, 0}, 2, INFLATE_REPEAT_OVERFLOW},
        {"16 x6 one past", {16, 3}, 5, INFLATE_REPEAT_OVERFLOW},
        {"17 x4 ends exactly", {17, 1}, 4, INFLATE_OK},
        {"17 x4 one past", {17, 1}, 3, INFLATE_ZEROS_OVERFLOW},
        {"18 x11 ends exactly", {18, 0}, 11, INFLATE_OK},
        {"18 x11 one past", {18, 0}, 10, INFLATE_LONG_ZEROS_OVERFLOW},
        {"18 x31 far past", {18, 20}, 1, INFLATE_LONG_ZEROS_OVERFLOW},
    };
    for (const Case& c : cases) {
        BitWriter w;
        w.block(true, 2);
        std::vector<LengthItem> items = a_and_end_items();
        items.push_back(c.run);
        dynamic_header(w, 257, c.hdist, items);
        w.code(0, 1).code(1, 1);  // 'a', end of block
        const Decoded d = decode(w.zlib());
        EXPECT_EQ(d.code, c.expected) << c.what;
        if (c.expected == INFLATE_OK) {
            EXPECT_EQ(d.out, bytes_of("a")) << c.what;
        }
    }
}

TEST(InflateDynamic, RepeatCrossesIntoTheDistanceLengths) {
    // HLIT 258: 'a', 'b', end and 257 (length 3) 2 bits each; 16 then repeats 257's length 2
    // for the first three distance lengths. Distance code 1 (01) is distance 2.
    BitWriter w;
    w.block(true, 2);
    dynamic_header(w, 258, 3, {{18, 86}, {2}, {2}, {18, 127}, {18, 8}, {2}, {2}, {16, 0}});
    const CanonicalCode lit(lengths_with(288, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}}));
    const CanonicalCode dist(std::vector<uint8_t>{2, 2, 2});
    lit.write(w, 'a');
    lit.write(w, 'b');
    lit.write(w, 257);
    dist.write(w, 1);
    lit.write(w, 256);
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("ababa"));
}

TEST(InflateDynamic, RepeatAsTheFirstLengthFails) {
    BitWriter w;
    w.block(true, 2);
    dynamic_header(w, 257, 1, {{16, 0}, {18, 127}, {18, 127}});
    EXPECT_EQ(decode(w.zlib()).code, INFLATE_REPEAT_WITHOUT_LENGTH);
}

TEST(InflateDynamic, EndOfBlockWithoutCodeFails) {
    BitWriter w;
    dynamic_block(w, true, lengths_with(257, {{'a', 1}, {'b', 1}}), {1});
    EXPECT_EQ(decode(w.zlib()).code, INFLATE_NO_END_OF_BLOCK);
}

TEST(InflateDynamic, NoDistanceCodesDecodesLiteralsUntilAMatch) {
    BitWriter w;
    const DynamicCodes c = dynamic_block(w, true, lengths_with(258, {{'a', 2}, {256, 2}, {257, 1}}), {0});
    c.litlen.write(w, 'a');
    c.litlen.write(w, 'a');
    c.litlen.write(w, 257);
    w.bits(0, 2);  // no distance code has any bits
    c.litlen.write(w, 256);
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_CODE_UNASSIGNED);
    ASSERT_GE(d.out.size(), 2u);
    EXPECT_EQ(d.out[0], 'a');
    EXPECT_EQ(d.out[1], 'a');
}

TEST(InflateDynamic, IncompleteCodeDecodesUntilAnUnassignedCode) {
    // 'a' 00, end of block 01; 10 and 11 are not assigned.
    BitWriter w;
    const DynamicCodes c = dynamic_block(w, true, lengths_with(257, {{'a', 2}, {256, 2}}), {1});
    c.litlen.write(w, 'a');
    c.litlen.write(w, 'a');
    w.code(2, 2);
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_CODE_UNASSIGNED);
    ASSERT_EQ(d.out.size(), 2u);
    EXPECT_EQ(d.out, bytes_of("aa"));
}

TEST(InflateDynamic, OverSubscribedLengthsFail) {
    // 1, 1, 2, 2: the third code runs into the first one's leaf with a bit still to place.
    BitWriter code_length_code;
    code_length_code.block(true, 2).bits(0, 5).bits(0, 5).bits(18 - 4, 4);
    for (uint8_t sym : CODE_LENGTH_ORDER) code_length_code.bits(sym == 0 || sym == 1 ? 1 : sym == 2 || sym == 3 ? 2 : 0, 3);
    EXPECT_EQ(decode(code_length_code.zlib()).code, INFLATE_OVERSUBSCRIBED);

    BitWriter distance_code;
    dynamic_block(distance_code, true, lengths_with(257, {{'a', 1}, {256, 1}}), {1, 1, 2, 2});
    EXPECT_EQ(decode(distance_code.zlib()).code, INFLATE_OVERSUBSCRIBED);

    BitWriter literal_code;
    dynamic_block(literal_code, true, lengths_with(257, {{'a', 1}, {'b', 1}, {'c', 2}, {256, 2}}), {1});
    EXPECT_EQ(decode(literal_code.zlib()).code, INFLATE_OVERSUBSCRIBED);
}

TEST(InflateDynamic, CollisionOnTheLastBitDropsTheSymbol) {
    // Distance lengths 1, 1, 1: the third code wraps onto the first and is left out, so code 0
    // stays distance 1. Had distance symbol 2 (distance 3) taken it, "ab" could not match.
    BitWriter w;
    const DynamicCodes c = dynamic_block(w, true, lengths_with(258, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}}), {1, 1, 1});
    c.litlen.write(w, 'a');
    c.litlen.write(w, 'b');
    c.litlen.write(w, 257);
    w.code(0, 1);
    c.litlen.write(w, 256);
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("abbbb"));
}

TEST(InflateDynamic, WalkGoesOnFromWhereACollisionLeftIt) {
    // Distance lengths 2, 1, 1, 2 give the codes 00, 0, 1, 01. Symbol 1's code ends on the
    // internal node below 0, and symbol 2's walk starts there: it takes 01, and symbol 3
    // (also 01) runs into it and is left out; 1 is not assigned.
    const std::vector<uint8_t> dist = {2, 1, 1, 2};
    const std::vector<uint8_t> lit = lengths_with(258, {{'a', 2}, {'b', 2}, {'c', 2}, {256, 3}, {257, 3}});
    struct Case {
        uint32_t code, bits;
        uint32_t expected;
        const char* out;
    };
    const std::vector<Case> cases = {
        {0b00, 2, INFLATE_OK, "abcccc"},   // symbol 0: distance 1
        {0b01, 2, INFLATE_OK, "abcabc"},   // symbol 2: distance 3
        {0b1, 1, INFLATE_CODE_UNASSIGNED, nullptr},
    };
    for (const Case& c : cases) {
        BitWriter w;
        const DynamicCodes codes = dynamic_block(w, true, lit, dist);
        for (uint32_t s : {uint32_t('a'), uint32_t('b'), uint32_t('c'), 257u}) codes.litlen.write(w, s);
        w.code(c.code, c.bits);
        codes.litlen.write(w, 256);
        const Decoded d = decode(w.zlib());
        EXPECT_EQ(d.code, c.expected) << c.code;
        if (c.out) {
            EXPECT_EQ(d.out, bytes_of(c.out)) << c.code;
        }
    }
}

TEST(InflateDynamic, IncompleteCodeTooDeepForTheTreeFails) {
    // Nineteen 5-bit codes leave the code-length code incomplete and need more internal nodes
    // than a tree of 2 * 19 entries holds.
    BitWriter w;
    w.block(true, 2).bits(0, 5).bits(0, 5).bits(19 - 4, 4);
    for (int i = 0; i < 19; i++) w.bits(5, 3);
    EXPECT_EQ(decode(w.zlib()).code, INFLATE_OVERSUBSCRIBED);
}

TEST(InflateDynamic, CodeLengthCollisionOnTheLastBitBuilds) {
    // Code-length symbols 0, 1, 8, 9 and 18, all 2 bits: 18 wraps onto 0's code and is left
    // out; the lengths are then spelled with 0, 1, 8 and 9 alone.
    BitWriter w;
    w.block(true, 2).bits(0, 5).bits(0, 5).bits(19 - 4, 4);
    for (uint8_t sym : CODE_LENGTH_ORDER) w.bits(sym == 0 || sym == 1 || sym == 8 || sym == 9 || sym == 18 ? 2 : 0, 3);
    const CanonicalCode cl(lengths_with(19, {{0, 2}, {1, 2}, {8, 2}, {9, 2}}));
    const std::vector<uint8_t> lit = lengths_with(257, {{'a', 1}, {256, 1}});
    for (uint8_t l : lit) cl.write(w, l);
    cl.write(w, 0);  // the one distance length
    w.code(0, 1).code(1, 1);  // 'a', end of block
    const Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("a"));
}

TEST(InflateDynamic, LargestHlitAndHdistAreAccepted) {
    // HLIT 288 and HDIST 32: lengths of 286, 287, 30 and 31 take part in the codes.
    std::vector<uint8_t> lit(288, 0), dist(32, 0);
    for (uint32_t s : {uint32_t('x'), 256u, 257u, 286u, 287u}) lit[s] = 3;
    for (uint32_t s : {0u, 30u, 31u}) dist[s] = 2;
    BitWriter w;
    const DynamicCodes c = dynamic_block(w, true, lit, dist);
    c.litlen.write(w, 'x');
    c.litlen.write(w, 286);
    c.litlen.write(w, 257);
    c.dist.write(w, 0);
    c.litlen.write(w, 287);
    c.litlen.write(w, 256);
    Decoded d = decode(w.zlib());
    EXPECT_EQ(d.code, INFLATE_OK);
    EXPECT_EQ(d.out, bytes_of("xxxx"));

    BitWriter far;
    const DynamicCodes f = dynamic_block(far, true, lit, dist);
    f.litlen.write(far, 'x');
    f.litlen.write(far, 257);
    f.dist.write(far, 31);
    EXPECT_EQ(decode(far.zlib()).code, INFLATE_BAD_DISTANCE_SYMBOL);
}

// ---- descriptions ------------------------------------------------------------------------

TEST(InflateDescribe, EveryCodeHasADescription) {
    for (uint32_t code : {INFLATE_OK, INFLATE_CODE_PAST_END, INFLATE_CODE_UNASSIGNED, INFLATE_REPEAT_OVERFLOW,
                          INFLATE_ZEROS_OVERFLOW, INFLATE_LONG_ZEROS_OVERFLOW, INFLATE_BAD_DISTANCE_SYMBOL,
                          INFLATE_BAD_BLOCK_TYPE, INFLATE_STORED_LENGTH_MISMATCH, INFLATE_STORED_PAST_END,
                          INFLATE_HEADER_CHECK, INFLATE_HEADER_METHOD, INFLATE_HEADER_DICTIONARY,
                          INFLATE_DYNAMIC_HEADER_PAST_END, INFLATE_RUN_BITS_PAST_END, INFLATE_MATCH_BITS_PAST_END,
                          INFLATE_BLOCK_PAST_END, INFLATE_INPUT_TOO_SHORT, INFLATE_OVERSUBSCRIBED,
                          INFLATE_NO_END_OF_BLOCK, INFLATE_INPUT_EXHAUSTED, INFLATE_DISTANCE_TOO_FAR,
                          INFLATE_REPEAT_WITHOUT_LENGTH, INFLATE_OUTPUT_LIMIT})
        EXPECT_NE(inflate_describe(code), nullptr) << code;
    EXPECT_EQ(inflate_describe(12), nullptr);
    EXPECT_EQ(inflate_describe(100), nullptr);
}

}  // namespace
