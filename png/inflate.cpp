// A small, exact zlib/deflate decoder: one bit per step, one tree walk per symbol. It is the
// reference of the table-driven decoder in inflate_fast.cpp, which hands every stream it cannot
// finish cleanly back to this one, so the codes below are the codes of both.
//
// Result codes. 0 is success; the first failure ends decoding and is returned unchanged.
// "Byte index" is bp / 8 counted from input byte 2 (the first deflate byte), while L is the
// length of the whole input, header bytes included.
//
//  code  raised by           condition
//   53   zlib header         L < 2
//   24   zlib header         (256 * CMF + FLG) mod 31 != 0
//   25   zlib header         CM != 8 (not deflate), or CINFO > 7
//   26   zlib header         FDICT set: the stream wants a preset dictionary
//   52   block loop          a block header starts at byte index >= L
//   20   block loop          BTYPE 3, which deflate does not define
//   52   stored block        after aligning to a byte, byte index + 4 >= L
//   21   stored block        LEN + NLEN != 65535 (NLEN is not the ones' complement of LEN)
//   23   stored block        byte index after LEN and NLEN, plus LEN, > L
//   49   dynamic header      before HLIT, byte index + 2 >= L
//   55   tree construction   a bit is to be placed below a leaf (over-subscribed lengths)
//   10   symbol decoding     at a byte boundary, byte index > L
//   11   symbol decoding     the bits read are a code the tree does not assign
//   50   dynamic header      before the extra bits of code-length symbol 16, 17 or 18,
//                            byte index >= L
//   13   dynamic header      a run of symbol 16 would write past HLIT + HDIST lengths
//   14   dynamic header      a run of symbol 17 would write past HLIT + HDIST lengths
//   15   dynamic header      a run of symbol 18 would write past HLIT + HDIST lengths
//   64   dynamic header      end-of-block symbol 256 has code length 0
//   51   compressed block    before the extra bits of a length or of a distance,
//                            byte index >= L
//   18   compressed block    distance symbol 30 or 31
//   90   any bit or byte     a bit is needed from beyond the last input byte and none of
//                            the tests above has fired first
//   91   compressed block    the distance reaches before the first output byte
//   92   dynamic header      symbol 16 as the very first length: nothing to repeat
//   93   output growth       the output would pass its ceiling (INFLATE_MAX_OUTPUT, or the
//                            one given to zlib_decompress_limited)
//
// The bound tests that compare a byte index with L are lax by the two header bytes, so on
// their own they would let truncated data read up to two bytes past the input. Every read
// is therefore checked again where it happens and fails with 90; the codes above still fire
// first wherever their conditions hold. Since no read goes past the input, bp / 8 never
// exceeds L - 2, and the tests behind 10, 50, 51 and the block loop's 52 can no longer be met:
// those codes stay in the table for the PNG decoder's sake but are not returned in practice.
//
// Output growth: a literal grows the array to 2 * pos + 2 when pos has reached its size, a
// match to 2 * (pos + length) when pos + length has reached it, a stored block to exactly
// pos + LEN. The doubling of literals and matches is capped by what the rest of the input
// could still produce (no bit yields more than MAX_BYTES_PER_BIT bytes), so a hostile stream
// cannot make the array grow beyond what its bits can fill; once the cap applies, no later
// growth is needed. After a successful final block the array is trimmed to exactly pos;
// after a failure it is left as it is.
//
// With a `keep` below the output's length (InflateOptions), positions from keep on are written
// to a 32 KiB ring instead of the array, which never grows beyond keep: the decode runs to its
// end with the same codes while its memory stays bounded by what the caller wants stored.
#include "png/inflate.h"

#include <algorithm>
#include <array>

#include "png/deflate_format.h"

namespace {

using namespace deflate;

// An entry through which no code passes. Larger than any symbol or link of the trees here.
constexpr uint32_t TREE_EMPTY = 32767;

// A decoding tree in one flat array of 2N entries. Node k owns entries 2k (next bit 0) and
// 2k + 1 (next bit 1); an entry is TREE_EMPTY, a symbol (below N), or N + the internal node
// it links to. Node 0 is the root.
struct HuffmanTree {
    std::vector<uint32_t> entries;
};

// State of one zlib_decompress call. bp and pos are 64-bit so that no input or output size
// can wrap them; the ceiling keeps pos within 32 bits.
struct Inflater {
    uint32_t error = 0;
    HuffmanTree litlen;
    HuffmanTree dist;
    HuffmanTree code_length;

    std::span<const uint8_t> in;   // the whole input, zlib header included
    uint64_t L = 0;                // in.size()
    uint64_t bp = 0;               // bits of deflate data consumed
    std::vector<uint8_t>* out = nullptr;
    uint64_t pos = 0;              // next output position
    uint64_t max_output = INFLATE_MAX_OUTPUT;
    uint64_t keep = UINT64_MAX;    // positions from here on go to `window`, not to *out
    std::vector<uint8_t> window;   // the last WINDOW_SIZE positions at or beyond keep
};

// Records the first failure only; every step returns as soon as one is recorded.
void fail(Inflater& s, uint32_t code) {
    if (s.error == 0) s.error = code;
}

// Byte index of the next bit, counted from input byte 2, as the bound tests use it.
uint64_t byte_index(const Inflater& s) { return s.bp / 8; }

// One bit, least significant first within each byte. Format notes: the header fields and
// extra bits of deflate are packed from the least significant bit on, so read_bits_lsb
// weights the i-th bit read by 2^i. A bit beyond the input is never read: it fails with 90
// and counts as 0.
uint32_t read_bit_lsb(Inflater& s) {
    const uint64_t byte = 2 + s.bp / 8;
    if (byte >= s.L) {
        fail(s, INFLATE_INPUT_EXHAUSTED);  // the data goes on past the last input byte
        return 0;
    }
    const uint32_t bit = (s.in[byte] >> (s.bp & 7)) & 1u;
    s.bp++;
    return bit;
}

uint32_t read_bits_lsb(Inflater& s, uint32_t n) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < n && s.error == 0; i++) value |= read_bit_lsb(s) << i;
    return value;
}

// Grows the output to `target` bytes, or to less when even that is more than the rest of the
// input could fill: never below `needed`, the end of what is about to be written.
void grow_output(Inflater& s, uint64_t needed, uint64_t target) {
    const uint64_t remaining_bits = 8 * (s.L - 2) - s.bp;
    const uint64_t reachable = needed + MAX_BYTES_PER_BIT * remaining_bits;
    s.out->resize(std::min({target, reachable, s.max_output, std::max(needed, s.keep)}));
}

// Output position p, wherever it is held.
uint8_t& output_at(Inflater& s, uint64_t p) {
    if (p < s.keep) return (*s.out)[p];
    if (s.window.empty()) s.window.resize(WINDOW_SIZE);
    return s.window[p % WINDOW_SIZE];
}

// Builds `tree` from the code lengths of its alphabet (N = lengths.size()). Format notes:
// the codes are the canonical ones, shorter codes first and, within one length, in symbol
// order. Each code is walked from the most significant bit on, creating internal nodes as
// needed. A walk that runs into an existing entry follows it, on a code's last bit too, and
// the next code's walk then starts where this one stopped: for a prefix code that never
// happens, and for an over-subscribed set it makes the next bit placed fail with 55 (a leaf
// e gives the node e - N, which wraps to far beyond N - 2). An incomplete set leaves its
// unused codes TREE_EMPTY; decoding one fails with 11.
uint32_t build_tree(HuffmanTree& tree, std::span<const uint8_t> lengths, uint32_t max_length) {
    const uint32_t n_symbols = static_cast<uint32_t>(lengths.size());
    std::array<uint32_t, MAX_CODE_BITS + 1> count{};
    std::array<uint32_t, MAX_CODE_BITS + 1> next{};
    std::array<uint32_t, LITLEN_SYMBOLS> code{};

    for (uint8_t len : lengths) count[len]++;
    for (uint32_t l = 1; l <= max_length; l++) next[l] = 2 * (next[l - 1] + count[l - 1]);
    for (uint32_t n = 0; n < n_symbols; n++)
        if (lengths[n] != 0) code[n] = next[lengths[n]]++;

    tree.entries.assign(2 * static_cast<size_t>(n_symbols), TREE_EMPTY);
    uint32_t filled = 0;
    uint32_t node = 0;
    for (uint32_t n = 0; n < n_symbols; n++) {
        const uint32_t len = lengths[n];
        for (uint32_t i = 0; i < len; i++) {
            const uint32_t bit = (code[n] >> (len - 1 - i)) & 1u;
            if (node > n_symbols - 2) return INFLATE_OVERSUBSCRIBED;  // a code runs on below a leaf
            uint32_t& e = tree.entries[2 * node + bit];
            if (e == TREE_EMPTY) {
                if (i == len - 1) {
                    e = n;
                    node = 0;
                } else {
                    filled++;
                    e = n_symbols + filled;
                    node = filled;
                }
            } else {
                node = e - n_symbols;  // wraps for a leaf, on purpose
            }
        }
    }
    return 0;
}

// Decodes one symbol by walking `tree` bit by bit, the first bit read being the code's most
// significant. On failure returns 0 with the error set (10, 11, or 90 when the input ends).
uint32_t decode_symbol(Inflater& s, const HuffmanTree& tree) {
    const uint32_t n_symbols = static_cast<uint32_t>(tree.entries.size() / 2);
    uint32_t node = 0;
    for (;;) {
        if (s.bp % 8 == 0 && byte_index(s) > s.L) {
            fail(s, INFLATE_CODE_PAST_END);  // a code goes on past the input
            return 0;
        }
        const uint32_t bit = read_bit_lsb(s);
        if (s.error != 0) return 0;
        if (node >= n_symbols) {
            fail(s, INFLATE_CODE_UNASSIGNED);  // the walk went through an empty entry
            return 0;
        }
        const uint32_t e = tree.entries[2 * node + bit];
        if (e < n_symbols) return e;
        node = e - n_symbols;
    }
}

// The fixed codes of block type 1. These lengths always build, and always to the same trees, so
// they are built once and copied into place for every fixed block (a stream of many small fixed
// blocks spent most of its time building them).
void make_fixed_trees(Inflater& s) {
    static const std::array<HuffmanTree, 2> fixed = [] {
        std::array<HuffmanTree, 2> trees;
        build_tree(trees[0], fixed_litlen_lengths(), MAX_CODE_BITS);
        build_tree(trees[1], fixed_dist_lengths(), MAX_CODE_BITS);
        return trees;
    }();
    s.litlen = fixed[0];
    s.dist = fixed[1];
}

// Reads the header of a dynamic block and builds its literal/length and distance trees.
// Format notes: HLIT + HDIST lengths are coded as one sequence, so a run of 16, 17 or 18 may
// cross from the literal/length lengths into the distance lengths; symbol 16 repeats the
// length before it, which the first length does not have (92). A run may end exactly at
// HLIT + HDIST; the overflow codes fire only when one more length would be written, after
// the run's earlier lengths have been stored. HLIT up to 288 and HDIST up to 32 are taken
// as they come; lengths beyond them stay 0.
void read_dynamic_trees(Inflater& s) {
    std::array<uint8_t, LITLEN_SYMBOLS + DIST_SYMBOLS> lengths{};

    if (byte_index(s) + 2 >= s.L) {
        fail(s, INFLATE_DYNAMIC_HEADER_PAST_END);  // no room for the header
        return;
    }
    const uint32_t hlit = read_bits_lsb(s, 5) + 257;
    const uint32_t hdist = read_bits_lsb(s, 5) + 1;
    const uint32_t hclen = read_bits_lsb(s, 4) + 4;
    if (s.error != 0) return;

    std::array<uint8_t, CODE_LENGTH_SYMBOLS> cl_lengths{};
    for (uint32_t i = 0; i < CODE_LENGTH_SYMBOLS && s.error == 0; i++)
        cl_lengths[CODE_LENGTH_ORDER[i]] = i < hclen ? static_cast<uint8_t>(read_bits_lsb(s, 3)) : 0;
    if (s.error != 0) return;
    if (uint32_t err = build_tree(s.code_length, cl_lengths, MAX_CODE_LENGTH_BITS)) {
        fail(s, err);  // over-subscribed code-length code
        return;
    }

    const uint32_t total = hlit + hdist;
    uint32_t j = 0;
    while (j < total) {
        const uint32_t sym = decode_symbol(s, s.code_length);
        if (s.error != 0) return;
        if (sym <= 15) {
            lengths[j++] = static_cast<uint8_t>(sym);
            continue;
        }
        if (byte_index(s) >= s.L) {
            fail(s, INFLATE_RUN_BITS_PAST_END);  // no room for the run's extra bits
            return;
        }
        uint32_t run;
        uint8_t value = 0;
        uint32_t overflow;
        if (sym == 16) {
            run = 3 + read_bits_lsb(s, 2);
            if (s.error != 0) return;
            if (j == 0) {
                fail(s, INFLATE_REPEAT_WITHOUT_LENGTH);  // nothing before the first length
                return;
            }
            value = lengths[j - 1];
            overflow = INFLATE_REPEAT_OVERFLOW;
        } else if (sym == 17) {
            run = 3 + read_bits_lsb(s, 3);
            overflow = INFLATE_ZEROS_OVERFLOW;
        } else {
            run = 11 + read_bits_lsb(s, 7);
            overflow = INFLATE_LONG_ZEROS_OVERFLOW;
        }
        if (s.error != 0) return;
        for (uint32_t r = 0; r < run; r++) {
            if (j >= total) {
                fail(s, overflow);  // the run goes past HLIT + HDIST lengths
                return;
            }
            lengths[j++] = value;
        }
    }

    std::array<uint8_t, LITLEN_SYMBOLS> lit{};
    std::array<uint8_t, DIST_SYMBOLS> dist{};
    std::copy_n(lengths.begin(), hlit, lit.begin());
    std::copy_n(lengths.begin() + hlit, hdist, dist.begin());
    if (lit[END_OF_BLOCK] == 0) {
        fail(s, INFLATE_NO_END_OF_BLOCK);  // the block could never end
        return;
    }
    if (uint32_t err = build_tree(s.litlen, lit, MAX_CODE_BITS)) {
        fail(s, err);  // over-subscribed literal/length code
        return;
    }
    if (uint32_t err = build_tree(s.dist, dist, MAX_CODE_BITS)) fail(s, err);  // over-subscribed distance code
}

// Decodes one block of type 1 (fixed codes) or 2 (dynamic codes) up to its end-of-block
// symbol. Format notes: a match copies from `distance` bytes back, and a distance shorter
// than the length repeats the last `distance` bytes cyclically. Symbols 286 and 287 are
// part of the code but mean nothing; they are skipped.
void inflate_huffman_block(Inflater& s, uint32_t btype) {
    if (btype == 1) {
        make_fixed_trees(s);
    } else {
        read_dynamic_trees(s);
        if (s.error != 0) return;
    }
    std::vector<uint8_t>& out = *s.out;
    for (;;) {
        const uint32_t sym = decode_symbol(s, s.litlen);
        if (s.error != 0) return;
        if (sym < 256) {
            if (s.pos + 1 > s.max_output) {
                fail(s, INFLATE_OUTPUT_LIMIT);  // one byte more than the output may hold
                return;
            }
            if (s.pos < s.keep && s.pos >= out.size()) grow_output(s, s.pos + 1, 2 * s.pos + 2);
            output_at(s, s.pos++) = static_cast<uint8_t>(sym);
        } else if (sym == END_OF_BLOCK) {
            return;
        } else if (sym <= 285) {
            if (byte_index(s) >= s.L) {
                fail(s, INFLATE_MATCH_BITS_PAST_END);  // no room for the length's extra bits
                return;
            }
            const uint32_t length = LENGTH_BASE[sym - 257] + read_bits_lsb(s, LENGTH_EXTRA[sym - 257]);
            if (s.error != 0) return;
            const uint32_t d = decode_symbol(s, s.dist);
            if (s.error != 0) return;
            if (d > 29) {
                fail(s, INFLATE_BAD_DISTANCE_SYMBOL);  // distance codes 30 and 31 are not used
                return;
            }
            if (byte_index(s) >= s.L) {
                fail(s, INFLATE_MATCH_BITS_PAST_END);  // no room for the distance's extra bits
                return;
            }
            const uint32_t distance = DIST_BASE[d] + read_bits_lsb(s, DIST_EXTRA[d]);
            if (s.error != 0) return;
            if (distance > s.pos) {
                fail(s, INFLATE_DISTANCE_TOO_FAR);  // reaches before the first output byte
                return;
            }
            if (s.pos + length > s.max_output) {
                fail(s, INFLATE_OUTPUT_LIMIT);  // the match would pass the output's ceiling
                return;
            }
            if (s.pos < s.keep && s.pos + length >= out.size())
                grow_output(s, std::min(s.pos + length, s.keep), 2 * (s.pos + length));
            const uint64_t start = s.pos;
            uint64_t from = start - distance;
            if (start + length <= s.keep) {
                uint8_t* o = out.data();
                for (uint32_t k = 0; k < length; k++) {
                    o[s.pos++] = o[from++];
                    if (from == start) from = start - distance;
                }
            } else {
                for (uint32_t k = 0; k < length; k++) {
                    const uint8_t byte = output_at(s, from++);
                    output_at(s, s.pos++) = byte;
                    if (from == start) from = start - distance;
                }
            }
        }
        // 286 and 287: nothing to do.
    }
}

// Copies one stored block. Format notes: the block's data starts at the next byte boundary,
// after LEN and its ones' complement NLEN, both little-endian. The output grows to hold the
// whole block before the data is known to be there, so a block that fails with 23 has grown
// the output already.
void inflate_stored_block(Inflater& s) {
    s.bp = (s.bp + 7) / 8 * 8;
    uint64_t p = s.bp / 8;
    if (p + 4 >= s.L) {
        fail(s, INFLATE_BLOCK_PAST_END);  // no room for LEN and NLEN
        return;
    }
    if (2 + p + 4 > s.L) {
        fail(s, INFLATE_INPUT_EXHAUSTED);  // LEN and NLEN go past the last input byte
        return;
    }
    const uint32_t len = s.in[2 + p] | (s.in[2 + p + 1] << 8);
    const uint32_t nlen = s.in[2 + p + 2] | (s.in[2 + p + 3] << 8);
    p += 4;
    if (len + nlen != 65535) {
        fail(s, INFLATE_STORED_LENGTH_MISMATCH);  // NLEN does not complement LEN
        return;
    }
    if (s.pos + len > s.max_output) {
        fail(s, INFLATE_OUTPUT_LIMIT);  // the block would pass the output's ceiling
        return;
    }
    std::vector<uint8_t>& out = *s.out;
    const uint64_t stored_end = std::min(s.pos + len, s.keep);
    if (s.pos < s.keep && stored_end >= out.size()) out.resize(stored_end);
    if (p + len > s.L) {
        fail(s, INFLATE_STORED_PAST_END);  // the block's data goes past the input
        return;
    }
    if (2 + p + len > s.L) {
        fail(s, INFLATE_INPUT_EXHAUSTED);  // the last data bytes are missing
        return;
    }
    if (s.pos + len <= s.keep) {
        std::copy_n(s.in.begin() + static_cast<ptrdiff_t>(2 + p), len, out.begin() + static_cast<ptrdiff_t>(s.pos));
        s.pos += len;
    } else {
        for (uint32_t k = 0; k < len; k++) output_at(s, s.pos++) = s.in[2 + p + k];
    }
    s.bp = (p + len) * 8;
}

// The block loop over the deflate data from input byte 2 on. Success needs a final block;
// the bits after a non-final block, trailer included, are the next block's header.
uint32_t inflate_deflate(Inflater& s, std::vector<uint8_t>& output, std::span<const uint8_t> input) {
    s.error = 0;
    s.in = input;
    s.L = input.size();
    s.bp = 0;
    s.out = &output;
    s.pos = 0;
    while (s.error == 0) {
        if (byte_index(s) >= s.L) {
            fail(s, INFLATE_BLOCK_PAST_END);  // no room for a block header
            break;
        }
        const uint32_t bfinal = read_bit_lsb(s);
        const uint32_t b0 = read_bit_lsb(s);
        const uint32_t b1 = read_bit_lsb(s);
        if (s.error != 0) break;
        const uint32_t btype = b0 + 2 * b1;
        if (btype == 3) {
            fail(s, INFLATE_BAD_BLOCK_TYPE);  // reserved block type
            break;
        }
        if (btype == 0)
            inflate_stored_block(s);
        else
            inflate_huffman_block(s, btype);
        if (bfinal) {
            if (s.error == 0) output.resize(std::min(s.pos, s.keep));
            break;
        }
    }
    return s.error;
}

}  // namespace

uint32_t inflate_exact(std::span<const uint8_t> input, std::vector<uint8_t>& output, uint64_t max_output,
                       uint64_t keep) {
    Inflater s;
    s.max_output = max_output;
    s.keep = keep;
    return inflate_deflate(s, output, input);
}

const char* inflate_describe(uint32_t code) {
    switch (code) {
        case INFLATE_OK: return "success";
        case INFLATE_CODE_PAST_END: return "a Huffman code runs past the end of the input";
        case INFLATE_CODE_UNASSIGNED: return "a Huffman code that the block's code does not assign";
        case INFLATE_REPEAT_OVERFLOW: return "a repeat of the previous code length runs past the lengths";
        case INFLATE_ZEROS_OVERFLOW: return "a short run of zero code lengths runs past the lengths";
        case INFLATE_LONG_ZEROS_OVERFLOW: return "a long run of zero code lengths runs past the lengths";
        case INFLATE_BAD_DISTANCE_SYMBOL: return "distance symbol 30 or 31";
        case INFLATE_BAD_BLOCK_TYPE: return "block type 3";
        case INFLATE_STORED_LENGTH_MISMATCH: return "stored block LEN and NLEN do not match";
        case INFLATE_STORED_PAST_END: return "stored block data runs past the end of the input";
        case INFLATE_HEADER_CHECK: return "zlib header check bits wrong";
        case INFLATE_HEADER_METHOD: return "zlib header: not deflate, or window over 32 KiB";
        case INFLATE_HEADER_DICTIONARY: return "zlib header asks for a preset dictionary";
        case INFLATE_DYNAMIC_HEADER_PAST_END: return "dynamic block header past the end of the input";
        case INFLATE_RUN_BITS_PAST_END: return "code-length run bits past the end of the input";
        case INFLATE_MATCH_BITS_PAST_END: return "match extra bits past the end of the input";
        case INFLATE_BLOCK_PAST_END: return "block header past the end of the input";
        case INFLATE_INPUT_TOO_SHORT: return "input shorter than the zlib header";
        case INFLATE_OVERSUBSCRIBED: return "over-subscribed code lengths";
        case INFLATE_NO_END_OF_BLOCK: return "end-of-block symbol has no code";
        case INFLATE_INPUT_EXHAUSTED: return "the data needs bytes beyond the end of the input";
        case INFLATE_DISTANCE_TOO_FAR: return "a match reaches before the first output byte";
        case INFLATE_REPEAT_WITHOUT_LENGTH: return "a repeat of the previous code length comes first";
        case INFLATE_OUTPUT_LIMIT: return "the output would pass its size limit";
        default: return nullptr;
    }
}
