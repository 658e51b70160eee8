#pragma once
// Hand-built deflate bit streams for the inflater tests: fields least significant bit first,
// Huffman codes most significant bit first, as RFC 1951 packs them.
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

class BitWriter {
public:
    // `value` in `n` bits, least significant bit first (header fields, extra bits, LEN).
    BitWriter& bits(uint32_t value, uint32_t n) {
        for (uint32_t i = 0; i < n; i++) put((value >> i) & 1u);
        return *this;
    }
    // A Huffman code of `len` bits, most significant bit first.
    BitWriter& code(uint32_t code, uint32_t len) {
        for (uint32_t i = len; i-- > 0;) put((code >> i) & 1u);
        return *this;
    }
    // Block header: BFINAL, then BTYPE in two bits.
    BitWriter& block(bool final, uint32_t btype) { return bits(final ? 1 : 0, 1).bits(btype, 2); }
    // Pads with zero bits to the next byte boundary.
    BitWriter& align() {
        bit_ = 0;
        return *this;
    }
    BitWriter& bytes(std::initializer_list<uint8_t> list) {
        align();
        data_.insert(data_.end(), list.begin(), list.end());
        return *this;
    }
    BitWriter& bytes(const std::vector<uint8_t>& list) {
        align();
        data_.insert(data_.end(), list.begin(), list.end());
        return *this;
    }
    // A stored block's LEN and NLEN, after aligning.
    BitWriter& stored_lengths(uint16_t len, uint16_t nlen) {
        return bytes({uint8_t(len), uint8_t(len >> 8), uint8_t(nlen), uint8_t(nlen >> 8)});
    }

    // Symbol of the fixed literal/length code (RFC 1951 3.2.6).
    BitWriter& fixed_symbol(uint32_t s) {
        if (s < 144) return code(0x30 + s, 8);
        if (s < 256) return code(0x190 + s - 144, 9);
        if (s < 280) return code(s - 256, 7);
        return code(0xC0 + s - 280, 8);
    }
    // Symbol of the fixed distance code: five bits.
    BitWriter& fixed_distance(uint32_t d) { return code(d, 5); }

    size_t bit_count() const { return data_.size() * 8 - (bit_ ? 8 - bit_ : 0); }
    const std::vector<uint8_t>& data() const { return data_; }

    // The zlib stream: a header (default 0x78 0x9C), the bits so far, and `trailer` as the
    // four Adler-32 bytes (which the inflater never reads).
    std::vector<uint8_t> zlib(std::vector<uint8_t> trailer = {0, 0, 0, 0}, uint8_t cmf = 0x78,
                              uint8_t flg = 0x9C) const {
        std::vector<uint8_t> out = {cmf, flg};
        out.insert(out.end(), data_.begin(), data_.end());
        out.insert(out.end(), trailer.begin(), trailer.end());
        return out;
    }

private:
    void put(uint32_t b) {
        if (bit_ == 0) data_.push_back(0);
        data_.back() |= uint8_t(b << bit_);
        bit_ = (bit_ + 1) & 7;
    }
    std::vector<uint8_t> data_;
    uint32_t bit_ = 0;  // next bit within the last byte; 0 = start a new byte
};

// Canonical Huffman codes of a set of code lengths (RFC 1951 3.2.2), for writing test data.
struct CanonicalCode {
    std::vector<uint32_t> codes;
    std::vector<uint8_t> lengths;

    explicit CanonicalCode(std::vector<uint8_t> lens) : codes(lens.size()), lengths(std::move(lens)) {
        uint32_t count[16] = {}, next[16] = {};
        for (uint8_t l : lengths)
            if (l) count[l]++;
        for (int l = 1; l < 16; l++) next[l] = (next[l - 1] + count[l - 1]) << 1;
        for (size_t s = 0; s < lengths.size(); s++)
            if (lengths[s]) codes[s] = next[lengths[s]]++;
    }
    void write(BitWriter& w, uint32_t symbol) const { w.code(codes[symbol], lengths[symbol]); }
};

// One code-length symbol of a dynamic header with the value of its extra bits.
struct LengthItem {
    uint32_t symbol;  // 0..18
    uint32_t extra = 0;
};

// Items that spell out `lengths` one by one (every length 0..15, no runs).
inline std::vector<LengthItem> plain_lengths(const std::vector<uint8_t>& lengths) {
    std::vector<LengthItem> items;
    for (uint8_t l : lengths) items.push_back({l, 0});
    return items;
}

// The order in which a dynamic header stores the code-length code's lengths.
inline constexpr uint8_t CODE_LENGTH_ORDER[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Writes a dynamic header with a fixed, complete code-length code: symbols 0-12 have the
// 4-bit codes 0-12, symbols 13-18 the 5-bit codes 26-31. Then the items, each with its
// extra bits.
inline void write_length_symbol(BitWriter& w, uint32_t symbol) {
    if (symbol < 13)
        w.code(symbol, 4);
    else
        w.code(symbol + 13, 5);
}

inline BitWriter& dynamic_header(BitWriter& w, uint32_t hlit, uint32_t hdist, const std::vector<LengthItem>& items) {
    w.bits(hlit - 257, 5).bits(hdist - 1, 5).bits(19 - 4, 4);
    for (uint8_t symbol : CODE_LENGTH_ORDER) w.bits(symbol < 13 ? 4 : 5, 3);
    for (const LengthItem& item : items) {
        write_length_symbol(w, item.symbol);
        if (item.symbol == 16) w.bits(item.extra, 2);
        if (item.symbol == 17) w.bits(item.extra, 3);
        if (item.symbol == 18) w.bits(item.extra, 7);
    }
    return w;
}

// Items that spell out `lengths`, runs of three or more zeros as symbols 17 and 18.
inline std::vector<LengthItem> packed_lengths(const std::vector<uint8_t>& lengths) {
    std::vector<LengthItem> items;
    for (size_t i = 0; i < lengths.size();) {
        size_t zeros = 0;
        while (i + zeros < lengths.size() && lengths[i + zeros] == 0) zeros++;
        if (zeros < 3) {
            items.push_back({lengths[i], 0});
            i++;
            continue;
        }
        const size_t run = zeros > 138 ? 138 : zeros;
        if (run >= 11)
            items.push_back({18, uint32_t(run - 11)});
        else
            items.push_back({17, uint32_t(run - 3)});
        i += run;
    }
    return items;
}

// The codes of a dynamic block, written by dynamic_block.
struct DynamicCodes {
    CanonicalCode litlen;
    CanonicalCode dist;
};

// A dynamic block header for these literal/length (HLIT of them) and distance (HDIST) lengths.
inline DynamicCodes dynamic_block(BitWriter& w, bool final, const std::vector<uint8_t>& lit,
                                  const std::vector<uint8_t>& dist) {
    w.block(final, 2);
    std::vector<uint8_t> all = lit;
    all.insert(all.end(), dist.begin(), dist.end());
    dynamic_header(w, uint32_t(lit.size()), uint32_t(dist.size()), packed_lengths(all));
    std::vector<uint8_t> lit288 = lit, dist32 = dist;
    lit288.resize(288);
    dist32.resize(32);
    return {CanonicalCode(lit288), CanonicalCode(dist32)};
}

// `n` code lengths, all 0 except the listed (symbol, length) pairs.
inline std::vector<uint8_t> lengths_with(size_t n, std::initializer_list<std::pair<uint32_t, uint8_t>> set) {
    std::vector<uint8_t> out(n, 0);
    for (auto [symbol, length] : set) out[symbol] = length;
    return out;
}

// A stream of all three block types in a row, with what zlib never writes: literal/length
// symbol 286 in a fixed block, a stored block between, a small dynamic block last.
inline std::vector<uint8_t> mixed_blocks_stream() {
    BitWriter w;
    w.block(false, 1).fixed_symbol('a').fixed_symbol(286).fixed_symbol(257).fixed_distance(0).fixed_symbol(256);
    w.block(false, 0).stored_lengths(3, 0xFFFF - 3).bytes({'b', 'c', 'd'});
    const DynamicCodes c = dynamic_block(w, true, lengths_with(258, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}}), {2, 2});
    for (uint32_t s : {uint32_t('a'), uint32_t('b'), 257u}) c.litlen.write(w, s);
    c.dist.write(w, 1);
    c.litlen.write(w, 256);
    return w.zlib();
}
