// A fast deflate decoder for the streams that decode cleanly. It is faster than the exact decoder
// (inflate.cpp) for these reasons, each visible below:
//  - a 64-bit bit buffer, refilled with one unaligned 8-byte load: one refill covers a whole
//    match (length code, its extra bits, distance code, its extra bits: at most 48 bits);
//  - Huffman codes decoded by table lookup: the next LITLEN_TABLE_BITS (or DIST_TABLE_BITS) bits
//    index an entry that gives the symbol's value, its code length and its extra-bit count at
//    once; longer codes take one more lookup in a subtable;
//  - matches copied eight bytes at a time while the output has room, with short distances
//    widened to a period of at least eight bytes;
//  - the output written in place into the caller's array, which is normally pre-sized.
//
// It only ever reports success. Anything else (a failure of any kind, an over-subscribed code,
// an incomplete code that the exact decoder's tree would reject, an unassigned code met while
// decoding, a bit taken from beyond the input, the output ceiling) makes it give up, and the
// exact decoder then decides. So a success here is a success there with the same bytes, and
// every result code is the exact decoder's.
//
// Near the end of the input the buffer is refilled a byte at a time and padded with zero bytes
// that are counted (`overread`); consuming any of them means the stream needed bits it does not
// have, which is found at the next refill or at the end, before success is reported.
#include "png/inflate_fast.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "png/cpu_features.h"
#include "png/deflate_format.h"

namespace {

using namespace deflate;

// Our choices. Main tables of 2^bits entries; the subtable space holds what any code that passes
// the checks of build_table can need (a canonical code's long codes share few prefixes), and a
// code that would need more makes the build fail, which hands the stream to the exact decoder.
constexpr uint32_t LITLEN_TABLE_BITS = 11;
constexpr uint32_t DIST_TABLE_BITS = 8;
constexpr uint32_t CODE_LENGTH_TABLE_BITS = 7;  // the longest code-length code: no subtables
constexpr uint32_t LITLEN_TABLE_SIZE = (1u << LITLEN_TABLE_BITS) + 2048;
constexpr uint32_t DIST_TABLE_SIZE = (1u << DIST_TABLE_BITS) + 1024;
constexpr uint32_t CODE_LENGTH_TABLE_SIZE = 1u << CODE_LENGTH_TABLE_BITS;

// Where output beyond `keep` goes: the last WINDOW_SIZE bytes and room to write after them.
constexpr uint64_t WINDOW_WORK = 24576;
// Bytes a word-wise match copy may write beyond the match's end.
constexpr uint64_t COPY_SLOP = 8;

// A decode-table entry, 32 bits:
//   bits 0-5    bits the entry consumes: the code's length (within the subtable, for an entry of a
//               subtable) plus the symbol's extra bits; for a subtable pointer, the main table's bits;
//               for a literal pair, both codes' lengths
//   bit  6      PAIR: two literals, the first in bits 16-23, the second in bits 24-31 (main table only)
//   bit  7      UNASSIGNED: no code of the alphabet starts with these bits, or the symbol is one
//               that only the exact decoder may report (distance 30 and 31)
//   bits 8-11   the code's length, where the extra bits start; for a subtable pointer, the number
//               of bits that index the subtable; for a literal pair, the first code's length
//   bit  12     LITERAL: the value is the byte
//   bit  13     EXCEPTIONAL: not a literal and not a length (end of block, unassigned, pointer,
//               literal/length symbols 286 and 287, which are skipped)
//   bit  14     SUBTABLE: the value is the subtable's first index
//   bit  15     BLOCK_END: the end-of-block symbol
//   bits 16-31  the value: literal byte, base length, base distance, code-length symbol, or
//               subtable start
// Per symbol, the tables are built from a "symbol entry" holding the value, the flags and the
// extra-bit count in bits 0-5; adding the code length times 0x101 completes it.
constexpr uint32_t PAIR = 1u << 6;
constexpr uint32_t UNASSIGNED = 1u << 7;
constexpr uint32_t LITERAL = 1u << 12;
constexpr uint32_t EXCEPTIONAL = 1u << 13;
constexpr uint32_t SUBTABLE = 1u << 14;
constexpr uint32_t BLOCK_END = 1u << 15;
// Its value, as a distance, is beyond any window: where the fast loop stops checking a distance's
// flags, the distance alone makes it give up.
constexpr uint32_t UNASSIGNED_ENTRY = 0xFFFFu << 16 | EXCEPTIONAL | UNASSIGNED;

uint32_t bits_consumed(uint32_t entry) { return entry & 63; }
// What the careful loop consumes: one literal at a time, the first of a pair.
uint32_t single_step_bits(uint32_t entry) { return entry & PAIR ? (entry >> 8) & 15 : entry & 63; }
uint32_t code_length(uint32_t entry) { return (entry >> 8) & 15; }
uint32_t value_of(uint32_t entry) { return entry >> 16; }

// The extra bits that follow the code in `saved`, the bit buffer before the entry was consumed.
uint32_t extra_bits(uint64_t saved, uint32_t entry) {
    return uint32_t((saved & ((uint64_t{1} << bits_consumed(entry)) - 1)) >> code_length(entry));
}

using SymbolEntries = std::array<uint32_t, LITLEN_SYMBOLS>;

SymbolEntries litlen_symbols() {
    SymbolEntries s{};
    for (uint32_t i = 0; i < 256; i++) s[i] = i << 16 | LITERAL;
    s[END_OF_BLOCK] = EXCEPTIONAL | BLOCK_END;
    for (uint32_t i = 0; i < 29; i++) s[257 + i] = uint32_t{LENGTH_BASE[i]} << 16 | LENGTH_EXTRA[i];
    s[286] = s[287] = EXCEPTIONAL;
    return s;
}

SymbolEntries dist_symbols() {
    SymbolEntries s{};
    for (uint32_t i = 0; i < 30; i++) s[i] = uint32_t{DIST_BASE[i]} << 16 | DIST_EXTRA[i];
    s[30] = s[31] = UNASSIGNED_ENTRY;
    return s;
}

SymbolEntries code_length_symbols() {
    SymbolEntries s{};
    for (uint32_t i = 0; i < CODE_LENGTH_SYMBOLS; i++) s[i] = i << 16;
    return s;
}

const SymbolEntries LITLEN_SYMBOL_ENTRIES = litlen_symbols();
const SymbolEntries DIST_SYMBOL_ENTRIES = dist_symbols();
const SymbolEntries CODE_LENGTH_SYMBOL_ENTRIES = code_length_symbols();

// The next code of `len` bits after `reversed`, both bit-reversed as the tables index them: the
// carry of an increment runs from the code's last bit, which is the highest bit here. After the
// last code of a complete code (all ones) the result is meaningless, and no code follows it; the
// `| 1` only keeps bit_width from 0 there, which would make the shift below undefined.
uint32_t next_reversed_code(uint32_t reversed, uint32_t len) {
    const uint32_t free_bits = (reversed ^ ((1u << len) - 1)) | 1;  // zeros of the code, as ones
    const uint32_t bit = 1u << (std::bit_width(free_bits) - 1);
    return (reversed & (bit - 1)) | bit;
}

// The exact decoder builds an incomplete code into a tree of 2N entries and fails with 55 once
// it would need more than N - 2 internal nodes besides the root: deep, sparse codes do. Its
// internal nodes are the distinct proper prefixes of the codes; canonical codes, left-aligned,
// increase in canonical order, so the prefixes of each depth can be counted in one pass.
bool tree_would_overflow(std::span<const uint8_t> lengths, std::span<const uint16_t> sorted) {
    const uint32_t n_symbols = uint32_t(lengths.size());
    std::array<int64_t, MAX_CODE_BITS + 1> last;
    last.fill(-1);
    uint32_t nodes = 0, code = 0, code_len = 0;
    for (uint16_t symbol : sorted) {
        const uint32_t len = lengths[symbol];
        code <<= len - code_len;
        code_len = len;
        const uint32_t aligned = code++ << (MAX_CODE_BITS - len);
        for (uint32_t d = 1; d < len; d++) {
            const int64_t prefix = aligned >> (MAX_CODE_BITS - d);
            if (prefix != last[d]) {
                last[d] = prefix;
                nodes++;
            }
        }
    }
    return nodes > n_symbols - 2;
}

// Where a main-table literal's code leaves room in the index for a second literal's whole code,
// the entry decodes both: literal runs, most of a photograph's data, then take half the lookups.
// The entries of a pair are those whose low bits are the first code and whose next bits are the
// second (codes reversed, as everywhere in the tables), repeating over the bits beyond; so each
// pair of literals whose lengths add up to at most root_bits is written where it belongs, and no
// entry is visited that no pair takes. `literals` are the literal codes of at most root_bits - 1
// bits, shortest first: for each first literal, the second ones stop at the first that is too long.
struct LiteralCode {
    uint32_t reversed;
    uint32_t length;
    uint32_t value;
};

void pair_main_table_literals(uint32_t* table, uint32_t root_bits, std::span<const LiteralCode> literals) {
    const uint32_t main_size = 1u << root_bits;
    for (const LiteralCode& first : literals) {
        for (const LiteralCode& second : literals) {
            const uint32_t both = first.length + second.length;
            if (both > root_bits) break;
            const uint32_t entry = (first.value | second.value << 8) << 16 | LITERAL | PAIR | first.length << 8 | both;
            for (uint32_t k = first.reversed | second.reversed << first.length; k < main_size; k += 1u << both)
                table[k] = entry;
        }
    }
}

// Fills `table` (a main table of 2^root_bits entries, then subtables) for the code of `lengths`.
// Returns false, leaving the stream to the exact decoder, for over-subscribed lengths (the exact
// tree then may build and decode oddly, or fail), for incomplete lengths whose tree would
// overflow, and for a code whose subtables would not fit. Unused entries of an incomplete code
// are UNASSIGNED.
//
// Format notes: canonical codes, shorter codes first and, within a length, in symbol order; the
// first bit of a code in the stream is its most significant, while the bit buffer delivers the
// stream's first bit in its lowest bit, so table indexes are the codes bit-reversed. A code
// longer than root_bits sits in the subtable of its first root_bits bits; the subtable is as
// deep as the longest code sharing that prefix, shorter ones filling 2^(depth - length) entries.
bool build_table(uint32_t* table, uint32_t table_size, std::span<const uint8_t> lengths, uint32_t root_bits,
                 const SymbolEntries& symbols, bool pair_literals = false) {
    std::array<uint32_t, MAX_CODE_BITS + 2> count{};
    for (uint8_t len : lengths) count[len]++;
    int64_t left = 1;  // code space still free, in units of the current length
    for (uint32_t l = 1; l <= MAX_CODE_BITS; l++) {
        left = 2 * left - count[l];
        if (left < 0) return false;  // over-subscribed
    }
    const bool incomplete = left > 0;

    std::array<uint32_t, MAX_CODE_BITS + 2> offset{};
    for (uint32_t l = 1; l <= MAX_CODE_BITS; l++) offset[l + 1] = offset[l] + count[l];
    const uint32_t used = offset[MAX_CODE_BITS + 1];
    std::array<uint16_t, LITLEN_SYMBOLS> sorted;  // the first `used` are set
    {
        std::array<uint32_t, MAX_CODE_BITS + 2> at = offset;
        for (uint32_t s = 0; s < lengths.size(); s++)
            if (lengths[s] != 0) sorted[at[lengths[s]]++] = uint16_t(s);
    }
    if (incomplete && tree_would_overflow(lengths, {sorted.data(), used})) return false;

    // The main table's codes, shortest first, each written once into a table as wide as its
    // length, which doubles (a copy of itself) before the next length: every entry then repeats
    // over the bits beyond its code, as the lookups need, and the filling is mostly copying.
    // A longer code keeps its bit-reversed value when the length grows: the new last bit is 0.
    const uint32_t main_size = 1u << root_bits;
    std::array<LiteralCode, 256> literals;
    uint32_t literal_count = 0;
    uint32_t reversed = 0;
    {
        uint32_t len = 1;
        while (len < root_bits && count[len] == 0) len++;
        uint32_t size = 1u << len;
        if (incomplete) std::fill(table, table + size, UNASSIGNED_ENTRY);
        for (;;) {
            for (uint32_t i = offset[len]; i < offset[len + 1]; i++) {
                const uint32_t symbol = symbols[sorted[i]];
                table[reversed] = symbol + len * 0x101;
                if (pair_literals && (symbol & LITERAL) && len < root_bits)
                    literals[literal_count++] = {reversed, len, value_of(symbol)};
                reversed = next_reversed_code(reversed, len);
            }
            if (len == root_bits) break;
            std::memcpy(table + size, table, size * sizeof(uint32_t));
            size *= 2;
            len++;
        }
    }

    // The longer codes, in subtables. A code's first root_bits bits, reversed, are the low bits
    // of its reversed value: the main-table entry that points to its subtable.
    uint32_t next_subtable = main_size;
    uint32_t subtable_start = 0, subtable_bits = 0;
    uint32_t subtable_prefix = UINT32_MAX;
    std::array<uint32_t, MAX_CODE_BITS + 2> remaining = count;  // read for the longer lengths only
    for (uint32_t i = offset[root_bits + 1]; i < used; i++) {
        const uint32_t len = lengths[sorted[i]];
        const uint32_t symbol = symbols[sorted[i]];
        const uint32_t sub_len = len - root_bits;
        const uint32_t prefix = reversed & (main_size - 1);
        if (prefix != subtable_prefix) {
            // The smallest subtable that holds every remaining code with this prefix: grow it
            // until the codes of the lengths seen so far fill it, or the lengths run out.
            subtable_prefix = prefix;
            subtable_bits = sub_len;
            int64_t room = int64_t{1} << subtable_bits;
            while (subtable_bits + root_bits < MAX_CODE_BITS) {
                room -= remaining[subtable_bits + root_bits];
                if (room <= 0) break;
                subtable_bits++;
                room <<= 1;
            }
            subtable_start = next_subtable;
            next_subtable += 1u << subtable_bits;
            if (next_subtable > table_size) return false;
            if (incomplete) std::fill(table + subtable_start, table + next_subtable, UNASSIGNED_ENTRY);
            table[prefix] = subtable_start << 16 | EXCEPTIONAL | SUBTABLE | subtable_bits << 8 | root_bits;
        }
        for (uint32_t k = reversed >> root_bits; k < (1u << subtable_bits); k += 1u << sub_len)
            table[subtable_start + k] = symbol + sub_len * 0x101;
        remaining[len]--;
        reversed = next_reversed_code(reversed, len);
    }
    if (pair_literals) pair_main_table_literals(table, root_bits, {literals.data(), literal_count});
    return true;
}

struct FixedTables {
    std::array<uint32_t, LITLEN_TABLE_SIZE> litlen{};
    std::array<uint32_t, DIST_TABLE_SIZE> dist{};
    FixedTables() {
        build_table(litlen.data(), LITLEN_TABLE_SIZE, fixed_litlen_lengths(), LITLEN_TABLE_BITS, LITLEN_SYMBOL_ENTRIES,
                    true);
        build_table(dist.data(), DIST_TABLE_SIZE, fixed_dist_lengths(), DIST_TABLE_BITS, DIST_SYMBOL_ENTRIES);
    }
};

uint64_t load_le64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;  // little-endian machines only, as everywhere here
}

void store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }
void store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

// Copies a match of `length` bytes from `distance` back, where the output has at least
// length + COPY_SLOP bytes of room: eight bytes at a time, overlapping copies included.
inline uint8_t* copy_match_fast(uint8_t* out, uint32_t length, uint32_t distance) {
    uint8_t* const end = out + length;
    const uint8_t* src = out - distance;
    if (distance >= 8) {
        do {
            store64(out, load_le64(src));
            out += 8;
            src += 8;
        } while (out < end);
    } else if (distance == 1) {
        const uint64_t v = uint64_t{src[0]} * 0x0101010101010101ull;
        do {
            store64(out, v);
            out += 8;
        } while (out < end);
    } else {
        // A period of `distance` bytes is also one of any multiple of it: after the first
        // (period - distance) bytes, copy from `period` back, which is at least eight.
        const uint32_t period = distance * ((8 + distance - 1) / distance);
        const uint8_t* const bytewise_end = std::min(end, out + (period - distance));
        while (out < bytewise_end) {
            *out = *src;
            out++;
            src++;
        }
        src = out - period;
        while (out < end) {
            store64(out, load_le64(src));
            out += 8;
            src += 8;
        }
    }
    return end;
}

inline uint8_t* copy_match_bytewise(uint8_t* out, uint32_t length, uint32_t distance) {
    const uint8_t* src = out - distance;
    for (uint32_t k = 0; k < length; k++) out[k] = src[k];
    return out + length;
}

// ---- The fast loop ----
// Most of a stream is decoded far from the ends of the input and of the output. There, a
// refill can always load eight bytes, and a whole match, with the words its copy writes beyond
// its end, always fits; so the loop checks the two ends only between batches of rounds that
// cannot reach them, and nowhere inside. The bit buffer is refilled without a branch at the top of every round to at
// least 56 bits, which is more than the longest match takes (a 15-bit length code with 5 extra
// bits, a 15-bit distance code with 13), and leaves room for three literals in a row.

constexpr ptrdiff_t MAX_MATCH_LENGTH = 258;
// What a match may write beyond its end in the fast loop: five words before the length is
// looked at, or the last word of a longer copy.
constexpr uint64_t FAST_COPY_SLOP = 40;
// Room the fast loop needs at the output for one more round, and bytes at the input for a refill.
constexpr ptrdiff_t FAST_OUT_MARGIN = MAX_MATCH_LENGTH + FAST_COPY_SLOP;
constexpr ptrdiff_t FAST_IN_MARGIN = 16;  // two refills in a round
// The most one round of the fast loop moves the input (two refills) and the output (two literal
// pairs and a longest match).
constexpr ptrdiff_t MAX_ROUND_IN = 14;
constexpr ptrdiff_t MAX_ROUND_OUT = 4 + MAX_MATCH_LENGTH;

struct LoopState {
    uint64_t bitbuf;
    uint32_t bitsleft;
    const uint8_t* in;
    uint8_t* out;
};

enum class LoopExit { Margin, BlockEnd, GiveUp };

#define INFLATE_ALWAYS_INLINE inline __attribute__((always_inline))

// A match copy where FAST_COPY_SLOP bytes beyond the match may be written. From eight bytes back
// on, words: the first five unconditionally, which is every match of 40 bytes or less. Closer,
// the repeating pattern is built in a register (the bytes before `out` doubled until they fill a
// word) and stored a whole number of periods apart: no load waits on a store just made.
INFLATE_ALWAYS_INLINE uint8_t* copy_match_slop(uint8_t* out, uint32_t length, uint32_t distance) {
    uint8_t* const end = out + length;
    if (distance >= 8) {
        const uint8_t* src = out - distance;
        store64(out, load_le64(src));
        store64(out + 8, load_le64(src + 8));
        store64(out + 16, load_le64(src + 16));
        store64(out + 24, load_le64(src + 24));
        store64(out + 32, load_le64(src + 32));
        if (length > 40) {
            out += 40;
            src += 40;
            do {
                store64(out, load_le64(src));
                out += 8;
                src += 8;
            } while (out < end);
        }
        return end;
    }
    // The period's bytes, then as many whole periods as fit in a word; the stride is that many.
    static constexpr uint8_t STRIDE[8] = {0, 8, 8, 6, 8, 5, 6, 7};
    uint64_t v = load_le64(out - distance) & ((uint64_t{1} << (8 * distance)) - 1);
    v |= v << (8 * distance);
    if (distance < 4) v |= v << (16 * distance);
    if (distance == 1) v |= v << 32;
    const uint32_t stride = STRIDE[distance];
    do {
        store64(out, v);
        out += stride;
    } while (out < end);
    return end;
}

// extra_bits for the fast loop, where it meets only plain length and distance entries (or an
// exceptional distance entry, whose value is then thrown away): their flag bits 12 and 13 are
// clear, so the code length is (entry >> 8) mod 64, the count the shift instructions take anyway,
// and with BMI2 the mask is a single bzhi. bzhi reads its count from the entry's low byte, which
// for these entries is the consumed-bits field alone (PAIR and UNASSIGNED, bits 6 and 7, are
// clear; an unassigned distance's count of 128 or more keeps every bit, and is thrown away).
template <bool BMI2>
INFLATE_ALWAYS_INLINE uint32_t fast_extra_bits_of(uint64_t saved, uint32_t entry) {
    uint64_t low;
#if defined(__x86_64__)
    if constexpr (BMI2) {
        // Written out: the intrinsic cannot be used in code that is not itself compiled for BMI2.
        asm("bzhi %2, %1, %0" : "=r"(low) : "r"(saved), "r"(uint64_t{entry}));
    } else
#endif
    {
        low = saved & ((uint64_t{1} << (entry & 63)) - 1);
    }
    return uint32_t(low >> ((entry >> 8) & 63));
}

// The fast loop proper. Leaves with Margin when an end comes near, BlockEnd after the
// end-of-block symbol, and GiveUp on anything the exact decoder must judge (unassigned codes,
// distance 30 and 31, a distance beyond the output; `base` and `out_begin` tell where it starts).
//
// A round is up to three main-table literal entries (up to six literals, with pairs) and, when
// the last entry is not a literal, the symbol it starts: the length of a match, whose distance
// follows in the same round. Each entry is consumed as soon as it is looked up, before its kind
// is known, so a run of literals falls straight into the match after it with its bits already
// taken; the buffer is refilled once a round, at its end, and before a distance only when the
// bits left might not cover it. The next round's entry is looked up before that refill, from the
// bits still in the buffer, so that the lookup overlaps the refill, a literal's store or a match's
// copy.
//
// The bit budget, from at least 56 bits after a refill: three literal entries take at most 33 and
// leave at least 23 for the next lookup (11); two literal entries and a length take at most
// 22 + 16, or with a subtable 22 + 11 + 9, and leave at least 8 for the distance lookup.
// Only the low 6 bits of `bitsleft` are kept meaningful: whole entries are subtracted from it,
// their higher bits falling away, which saves masking the consumed-bits field out each time.
//
// WINDOW_FULL: the output already holds a whole window, so no distance the format allows reaches
// before its first byte, and the one check left is against the window: an unassigned entry (and
// distance symbols 30 and 31) has a value beyond it. Early on, each distance is checked against
// the bytes written so far.
template <bool BMI2, bool WINDOW_FULL>
INFLATE_ALWAYS_INLINE LoopExit fast_loop_body(LoopState& s, const uint32_t* litlen, const uint32_t* dist,
                                              const uint8_t* in_limit, const uint8_t* out_limit,
                                              const uint8_t* out_begin, uint64_t base) {
    uint64_t bitbuf = s.bitbuf;
    uint32_t bitsleft = s.bitsleft;
    const uint8_t* in = s.in;
    uint8_t* out = s.out;
    LoopExit exit = LoopExit::Margin;
    constexpr uint32_t LITLEN_MASK = (1u << LITLEN_TABLE_BITS) - 1;
    constexpr uint32_t DIST_MASK = (1u << DIST_TABLE_BITS) - 1;
    // Bits a distance may take (code and extra bits), from the main table or through a subtable.
    constexpr uint32_t DIST_MAIN_BITS = DIST_TABLE_BITS + 13;
    constexpr uint32_t DIST_LONGEST_BITS = MAX_CODE_BITS + 13;
    const auto fast_extra_bits = fast_extra_bits_of<BMI2>;
    // Output position zero, as an address: `out` may point into the window, whose first byte is
    // at position `base`. Unsigned arithmetic, as the address itself may lie outside any array.
    const uintptr_t origin = uintptr_t(out_begin) - uintptr_t(base);
    // Refills to at least 56 bits; bits above bitsleft are zero, so OR-ing a word in is exact.
    auto refill = [&] {
        bitbuf |= load_le64(in) << (bitsleft & 63);
        in += (~bitsleft & 63) >> 3;
        bitsleft |= 56;
    };
    uint64_t saved;
    auto consume = [&](uint32_t entry) {
        saved = bitbuf;
        bitbuf >>= (entry & 63);
        bitsleft -= entry;
    };
    // Stores both bytes of an entry; a single literal's second is overwritten next.
    auto put = [&](uint32_t entry) {
        store16(out, uint16_t(value_of(entry)));
        out += 1 + ((entry & PAIR) >> 6);
    };
    if (!(in < in_limit && out < out_limit)) return exit;
    refill();
    uint32_t e = litlen[bitbuf & LITLEN_MASK];
    while (in < in_limit && out < out_limit) {  // the refill may have taken the input to its limit
        // Rounds that cannot reach either limit, counted down: one decrement a round instead of
        // two compares. Rounds start below both limits while rounds - 1 whole rounds of the most
        // a round takes fit below them.
        ptrdiff_t rounds = std::min((in_limit - in + MAX_ROUND_IN - 1) / MAX_ROUND_IN,
                                    (out_limit - out + MAX_ROUND_OUT - 1) / MAX_ROUND_OUT);
        do {
            consume(e);
            if (e & LITERAL) {
                put(e);
                e = litlen[bitbuf & LITLEN_MASK];
                consume(e);
                if (e & LITERAL) {
                    put(e);
                    e = litlen[bitbuf & LITLEN_MASK];
                    consume(e);
                    if (e & LITERAL) {
                        put(e);
                        e = litlen[bitbuf & LITLEN_MASK];
                        refill();
                        continue;
                    }
                }
            }
            if (e & EXCEPTIONAL) {
                if (e & SUBTABLE) {
                    // The pointer took the main table's bits; the rest of the code indexes the subtable.
                    e = litlen[value_of(e) + (bitbuf & ((1u << code_length(e)) - 1))];
                    consume(e);
                    if (e & LITERAL) {
                        put(e);
                        e = litlen[bitbuf & LITLEN_MASK];
                        refill();
                        continue;
                    }
                }
                if (e & EXCEPTIONAL) {
                    if (e & BLOCK_END) {
                        exit = LoopExit::BlockEnd;
                        break;
                    }
                    if (e & UNASSIGNED) {
                        exit = LoopExit::GiveUp;
                        break;
                    }
                    e = litlen[bitbuf & LITLEN_MASK];
                    refill();
                    continue;  // literal/length symbols 286 and 287 mean nothing
                }
            }
            const uint32_t length = value_of(e) + fast_extra_bits(saved, e);

            e = dist[bitbuf & DIST_MASK];
            if (e & SUBTABLE) {
                if ((bitsleft & 63) < DIST_LONGEST_BITS + LITLEN_TABLE_BITS) refill();
                bitbuf >>= DIST_TABLE_BITS;
                bitsleft -= DIST_TABLE_BITS;
                e = dist[value_of(e) + (bitbuf & ((1u << code_length(e)) - 1))];
            } else if ((bitsleft & 63) < DIST_MAIN_BITS + LITLEN_TABLE_BITS) {
                refill();
            }
            consume(e);
            // In 64 bits: an unassigned entry's extra bits are any bits of the buffer.
            const uint64_t distance = uint64_t{value_of(e)} + fast_extra_bits(saved, e);
            if (WINDOW_FULL ? distance > WINDOW_SIZE : ((e & EXCEPTIONAL) || distance > uintptr_t(out) - origin)) {
                exit = LoopExit::GiveUp;
                break;
            }
            e = litlen[bitbuf & LITLEN_MASK];
            refill();
            out = copy_match_slop(out, length, uint32_t(distance));
        } while (--rounds != 0);
        if (exit != LoopExit::Margin) break;
    }
    s = {bitbuf, bitsleft & 63, in, out};
    return exit;
}

using FastLoop = LoopExit (*)(LoopState&, const uint32_t*, const uint32_t*, const uint8_t*, const uint8_t*,
                              const uint8_t*, uint64_t);

template <bool WINDOW_FULL>
LoopExit fast_loop_portable(LoopState& s, const uint32_t* litlen, const uint32_t* dist, const uint8_t* in_limit,
                            const uint8_t* out_limit, const uint8_t* out_begin, uint64_t base) {
    return fast_loop_body<false, WINDOW_FULL>(s, litlen, dist, in_limit, out_limit, out_begin, base);
}

#if defined(__x86_64__)
// The same loop where the compiler may use shrx and bzhi: shifts and masks by a register count
// without the flags dependency and the extra moves of the plain instructions.
template <bool WINDOW_FULL>
__attribute__((target("bmi2"))) LoopExit fast_loop_bmi2(LoopState& s, const uint32_t* litlen, const uint32_t* dist,
                                                         const uint8_t* in_limit, const uint8_t* out_limit,
                                                         const uint8_t* out_begin, uint64_t base) {
    return fast_loop_body<true, WINDOW_FULL>(s, litlen, dist, in_limit, out_limit, out_begin, base);
}
#endif

// The fast loop for the first window of output, and the one for the rest.
struct FastLoops {
    FastLoop first_window;
    FastLoop window_full;
};

FastLoops choose_fast_loops(uint32_t cpu) {
#if defined(__x86_64__)
    if (cpu & cpu_features() & CPU_BMI2) return {fast_loop_bmi2<false>, fast_loop_bmi2<true>};
#endif
    (void)cpu;
    return {fast_loop_portable<false>, fast_loop_portable<true>};
}

class FastInflater {
public:
    using Progress = std::function<void(const uint8_t* output, uint64_t final_bytes)>;
    FastInflater(std::span<const uint8_t> input, std::vector<uint8_t>& output, uint64_t max_output, uint64_t keep,
                 FastLoops fast_loops, const Progress* progress)
        : fast_loops_(fast_loops),
          progress_(progress),
          in_begin_(input.data() + 2),
          in_next_(in_begin_),
          in_end_(input.data() + input.size()),
          vec_(output),
          max_output_(max_output),
          keep_(keep) {
        out_begin_ = out_next_ = vec_.data();
        set_out_end(vec_.data() + vec_.size());
    }

    // The block loop. Format notes: success needs a final block; after a non-final block the
    // next block header follows at once. Nothing after the final block is read.
    bool run() {
        for (;;) {
            if (!need(3)) return false;
            const uint32_t final_block = take(1);
            const uint32_t type = take(2);
            bool ok = false;
            if (type == 0) {
                ok = stored_block();
            } else if (type == 1) {
                static const FixedTables fixed;
                ok = huffman_block(fixed.litlen.data(), fixed.dist.data());
            } else if (type == 2) {
                ok = dynamic_tables() && huffman_block(litlen_.data(), dist_.data());
            }
            if (!ok) return false;  // block type 3 included
            if (final_block) break;
        }
        if (virtual_bits_consumed()) return false;
        vec_.resize(std::min(position(), keep_));
        return true;
    }

private:
    uint64_t position() const { return base_ + uint64_t(out_next_ - out_begin_); }

    // The writable end: the buffer's end, or the output ceiling if that comes first, so that
    // reaching the ceiling always passes through make_room.
    void set_out_end(uint8_t* buffer_end) {
        const uint64_t allowed = max_output_ - std::min(max_output_, base_);
        out_end_ = uint64_t(buffer_end - out_begin_) > allowed ? out_begin_ + allowed : buffer_end;
    }

    bool virtual_bits_consumed() const { return uint64_t{overread_} * 8 > bitsleft_; }

    uint64_t bits_consumed_total() const {
        return 8 * (uint64_t(in_next_ - in_begin_) + overread_) - bitsleft_;
    }

    // Refills the bit buffer to at least 56 bits. Bits above bitsleft are always the input's
    // next bits or zero, so OR-ing a whole word in at bitsleft is exact.
    bool refill() {
        if (in_end_ - in_next_ >= 8) {
            bitbuf_ |= load_le64(in_next_) << bitsleft_;
            in_next_ += (63 - bitsleft_) >> 3;
            bitsleft_ |= 56;
            return true;
        }
        if (virtual_bits_consumed()) return false;  // the stream went on past the input
        while (bitsleft_ <= 56) {
            if (in_next_ < in_end_) {
                bitbuf_ |= uint64_t{*in_next_++} << bitsleft_;
            } else {
                overread_++;
            }
            bitsleft_ += 8;
        }
        return true;
    }

    bool need(uint32_t n) { return bitsleft_ >= n || refill(); }

    uint32_t take(uint32_t n) {
        const uint32_t v = uint32_t(bitbuf_ & ((uint64_t{1} << n) - 1));
        bitbuf_ >>= n;
        bitsleft_ -= n;
        return v;
    }

    // Makes room for at least one byte, and for `n` when that is possible in one go: the array
    // grows (doubling, but not beyond what the rest of the input could fill, nor far beyond
    // `keep`), or, once `keep` bytes are stored, writing goes on in the window, which slides.
    bool make_room(uint64_t n) {
        const uint64_t pos = position();
        if (pos + n > max_output_) {
            if (pos >= max_output_) return false;  // the exact decoder fails with 93 here
            n = max_output_ - pos;
        }
        if (!windowed_ && pos < keep_) {
            const uint64_t needed = pos + n;
            const uint64_t remaining_bits = (8 * uint64_t(in_end_ - in_begin_)) - std::min(
                8 * uint64_t(in_end_ - in_begin_), bits_consumed_total());
            const uint64_t reachable = needed + MAX_BYTES_PER_BIT * remaining_bits;
            const uint64_t target =
                std::max(needed, std::min({2 * needed, reachable, std::max(needed, keep_), max_output_}));
            if (target > vec_.size()) vec_.resize(target);
            out_begin_ = vec_.data();
            out_next_ = out_begin_ + pos;
            set_out_end(out_begin_ + vec_.size());
            return true;
        }
        if (!windowed_) {
            window_.resize(WINDOW_SIZE + WINDOW_WORK);
            const uint64_t history = std::min(pos, WINDOW_SIZE);
            if (history != 0) std::memcpy(window_.data(), out_next_ - history, history);  // the array may be empty
            windowed_ = true;
            base_ = pos - history;
            out_begin_ = window_.data();
            out_next_ = out_begin_ + history;
        } else {
            std::memmove(window_.data(), out_next_ - WINDOW_SIZE, WINDOW_SIZE);
            base_ = pos - WINDOW_SIZE;
            out_begin_ = window_.data();
            out_next_ = out_begin_ + WINDOW_SIZE;
        }
        set_out_end(window_.data() + window_.size());
        return out_end_ > out_next_;
    }

    // Format notes: a stored block starts at the next byte boundary with LEN and its ones'
    // complement NLEN, little-endian, then LEN bytes.
    bool stored_block() {
        if (virtual_bits_consumed()) return false;
        take(bitsleft_ & 7);
        // The buffer holds whole bytes now, the last `overread` of them beyond the input.
        const uint8_t* p = in_next_ - (bitsleft_ / 8 - overread_);
        if (in_end_ - p < 4) return false;
        const uint32_t len = p[0] | uint32_t{p[1]} << 8;
        const uint32_t nlen = p[2] | uint32_t{p[3]} << 8;
        if (len + nlen != 65535) return false;
        p += 4;
        if (uint64_t(in_end_ - p) < len) return false;
        for (uint32_t done = 0; done < len;) {
            if (out_next_ == out_end_ && !make_room(len - done)) return false;
            const uint32_t piece = uint32_t(std::min<uint64_t>(len - done, uint64_t(out_end_ - out_next_)));
            std::memcpy(out_next_, p + done, piece);
            out_next_ += piece;
            done += piece;
        }
        in_next_ = p + len;
        bitbuf_ = 0;
        bitsleft_ = 0;
        overread_ = 0;
        return true;
    }

    // Reads a dynamic block's header into litlen_ and dist_. Format notes: HLIT + HDIST lengths
    // form one sequence coded with the code-length code, so runs may cross from one alphabet
    // into the other; symbol 16 repeats the previous length, 17 and 18 give runs of zeros.
    bool dynamic_tables() {
        if (!need(14)) return false;
        const uint32_t hlit = take(5) + 257;
        const uint32_t hdist = take(5) + 1;
        const uint32_t hclen = take(4) + 4;
        std::array<uint8_t, CODE_LENGTH_SYMBOLS> cl_lengths{};
        for (uint32_t i = 0; i < hclen; i++) {
            if (!need(3)) return false;
            cl_lengths[CODE_LENGTH_ORDER[i]] = uint8_t(take(3));
        }
        if (!build_table(code_length_.data(), CODE_LENGTH_TABLE_SIZE, cl_lengths, CODE_LENGTH_TABLE_BITS,
                         CODE_LENGTH_SYMBOL_ENTRIES))
            return false;

        std::array<uint8_t, LITLEN_SYMBOLS + DIST_SYMBOLS> lengths{};
        const uint32_t total = hlit + hdist;
        for (uint32_t j = 0; j < total;) {
            if (!need(14)) return false;  // a code of up to 7 bits and up to 7 extra bits
            const uint32_t e = code_length_[bitbuf_ & (CODE_LENGTH_TABLE_SIZE - 1)];
            if (e & UNASSIGNED) return false;
            take(bits_consumed(e));
            const uint32_t sym = value_of(e);
            if (sym <= 15) {
                lengths[j++] = uint8_t(sym);
                continue;
            }
            uint32_t run;
            uint8_t value = 0;
            if (sym == 16) {
                if (j == 0) return false;  // nothing to repeat
                run = 3 + take(2);
                value = lengths[j - 1];
            } else if (sym == 17) {
                run = 3 + take(3);
            } else {
                run = 11 + take(7);
            }
            if (run > total - j) return false;  // the run goes past the lengths
            std::fill_n(lengths.begin() + j, run, value);
            j += run;
        }
        std::array<uint8_t, LITLEN_SYMBOLS> lit{};
        std::array<uint8_t, DIST_SYMBOLS> dist{};
        std::copy_n(lengths.begin(), hlit, lit.begin());
        std::copy_n(lengths.begin() + hlit, hdist, dist.begin());
        if (lit[END_OF_BLOCK] == 0) return false;
        return build_table(litlen_.data(), LITLEN_TABLE_SIZE, lit, LITLEN_TABLE_BITS, LITLEN_SYMBOL_ENTRIES, true) &&
               build_table(dist_.data(), DIST_TABLE_SIZE, dist, DIST_TABLE_BITS, DIST_SYMBOL_ENTRIES);
    }

    // Decodes symbols up to the end of the block. The state lives in locals while the loop runs
    // and goes back to the members around every call that needs it.
    bool huffman_block(const uint32_t* litlen, const uint32_t* dist) {
        uint64_t bitbuf = bitbuf_;
        uint32_t bitsleft = bitsleft_;
        const uint8_t* in = in_next_;
        uint8_t* out = out_next_;
        uint8_t* out_end = out_end_;  // locals: the output's stores could alias the members
        const uint8_t* out_begin = out_begin_;
        uint64_t base = base_;
        const uint8_t* const in_end = in_end_;
        auto save = [&] {
            bitbuf_ = bitbuf;
            bitsleft_ = bitsleft;
            in_next_ = in;
            out_next_ = out;
        };
        auto load = [&] {
            bitbuf = bitbuf_;
            bitsleft = bitsleft_;
            in = in_next_;
            out = out_next_;
            out_end = out_end_;
            out_begin = out_begin_;
            base = base_;
        };
        for (;;) {
            // Progress reports come between rounds of the fast loop, whose output end stops at
            // the next one.
            const uint64_t pos = base + uint64_t(out - out_begin);
            if (progress_ && pos >= next_report_) {
                (*progress_)(vec_.data(), std::min(pos, keep_));
                next_report_ = windowed_ ? UINT64_MAX : pos + INFLATE_PROGRESS_STEP;
            }
            if (in_end - in > FAST_IN_MARGIN && out_end - out > FAST_OUT_MARGIN) {
                const uint8_t* fast_out_limit = out_end - FAST_OUT_MARGIN;
                if (progress_ && next_report_ - pos < uint64_t(fast_out_limit - out)) fast_out_limit = out + (next_report_ - pos);
                LoopState state{bitbuf, bitsleft, in, out};
                // The loop that checks each distance against the output so far runs up to a whole
                // window, the other one from there.
                FastLoop loop = fast_loops_.window_full;
                if (pos < WINDOW_SIZE) {
                    loop = fast_loops_.first_window;
                    if (WINDOW_SIZE - pos < uint64_t(fast_out_limit - out)) fast_out_limit = out + (WINDOW_SIZE - pos);
                }
                const LoopExit exit =
                    loop(state, litlen, dist, in_end - FAST_IN_MARGIN, fast_out_limit, out_begin, base);
                bitbuf = state.bitbuf;
                bitsleft = state.bitsleft;
                in = state.in;
                out = state.out;
                if (exit == LoopExit::BlockEnd) {
                    save();
                    return true;
                }
                if (exit == LoopExit::GiveUp) return false;
            }
            if (in_end - in >= 8) {
                bitbuf |= load_le64(in) << bitsleft;
                in += (63 - bitsleft) >> 3;
                bitsleft |= 56;
            } else {
                save();
                if (!refill()) return false;
                load();
            }
            // Literal/length: at most 15 code bits and 5 extra bits.
            uint32_t e = litlen[bitbuf & ((1u << LITLEN_TABLE_BITS) - 1)];
            if (e & SUBTABLE) {
                bitbuf >>= LITLEN_TABLE_BITS;
                bitsleft -= LITLEN_TABLE_BITS;
                e = litlen[value_of(e) + (bitbuf & ((1u << code_length(e)) - 1))];
            }
            uint64_t saved = bitbuf;
            bitbuf >>= single_step_bits(e);
            bitsleft -= single_step_bits(e);
            if (e & LITERAL) {
                if (out == out_end) {
                    save();
                    if (!make_room(1)) return false;
                    load();
                }
                *out++ = uint8_t(value_of(e));
                // Runs of literals are common: two more fit in the bits left (at least 41, and a
                // literal takes at most 15) before the buffer needs a refill.
                for (int more = 0; more < 2; more++) {
                    e = litlen[bitbuf & ((1u << LITLEN_TABLE_BITS) - 1)];
                    if (!(e & LITERAL) || out == out_end) break;
                    bitbuf >>= single_step_bits(e);
                    bitsleft -= single_step_bits(e);
                    *out++ = uint8_t(value_of(e));
                }
                continue;
            }
            if (e & EXCEPTIONAL) {
                if (e & BLOCK_END) {
                    save();
                    return true;
                }
                if (e & UNASSIGNED) return false;
                continue;  // literal/length symbols 286 and 287 mean nothing
            }
            const uint32_t length = value_of(e) + extra_bits(saved, e);

            // Distance: at most 15 code bits and 13 extra bits, still in the buffer.
            e = dist[bitbuf & ((1u << DIST_TABLE_BITS) - 1)];
            if (e & SUBTABLE) {
                bitbuf >>= DIST_TABLE_BITS;
                bitsleft -= DIST_TABLE_BITS;
                e = dist[value_of(e) + (bitbuf & ((1u << code_length(e)) - 1))];
            }
            saved = bitbuf;
            bitbuf >>= bits_consumed(e);
            bitsleft -= bits_consumed(e);
            if (e & EXCEPTIONAL) return false;  // unassigned, or distance symbol 30 or 31
            const uint32_t distance = value_of(e) + extra_bits(saved, e);
            if (distance > base + uint64_t(out - out_begin)) return false;  // before the first byte

            if (uint64_t(out_end - out) >= length + COPY_SLOP) {
                out = copy_match_fast(out, length, distance);
                continue;
            }
            // Near the end of the room: byte by byte, making room as needed.
            for (uint32_t done = 0; done < length;) {
                if (out == out_end) {
                    save();
                    if (!make_room(length - done)) return false;
                    load();
                }
                const uint32_t piece = uint32_t(std::min<uint64_t>(length - done, uint64_t(out_end - out)));
                out = copy_match_bytewise(out, piece, distance);
                done += piece;
            }
        }
    }

    const FastLoops fast_loops_;
    const Progress* const progress_;
    uint64_t next_report_ = INFLATE_PROGRESS_STEP;  // output position of the next progress report
    const uint8_t* const in_begin_;  // first byte of the deflate data
    const uint8_t* in_next_;
    const uint8_t* const in_end_;
    uint64_t bitbuf_ = 0;
    uint32_t bitsleft_ = 0;
    uint32_t overread_ = 0;  // zero bytes put into the buffer beyond the input

    std::vector<uint8_t>& vec_;
    uint8_t* out_begin_ = nullptr;  // the array, or the window once `keep` bytes are stored
    uint8_t* out_next_ = nullptr;
    uint8_t* out_end_ = nullptr;
    uint64_t base_ = 0;  // output position of out_begin_
    bool windowed_ = false;
    std::vector<uint8_t> window_;
    const uint64_t max_output_;
    const uint64_t keep_;

    std::array<uint32_t, LITLEN_TABLE_SIZE> litlen_;
    std::array<uint32_t, DIST_TABLE_SIZE> dist_;
    std::array<uint32_t, CODE_LENGTH_TABLE_SIZE> code_length_;
};

}  // namespace

bool inflate_fast(std::span<const uint8_t> input, std::vector<uint8_t>& output, uint64_t max_output,
                  uint64_t keep, uint32_t cpu,
                  const std::function<void(const uint8_t* output, uint64_t final_bytes)>& progress) {
    FastInflater inflater(input, output, max_output, keep, choose_fast_loops(cpu), progress ? &progress : nullptr);
    return inflater.run();
}
