#pragma once
// Deterministic sample data for the inflater's differential tests, its benchmark and its fuzz
// seed corpus, and zlib (used only as an oracle) to compress it.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace samples {

// A small linear congruential generator: the same bytes on every machine.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }

private:
    uint32_t state_;
};

// English-like text: words of a small vocabulary, spaces, punctuation and line breaks.
inline std::vector<uint8_t> text(size_t size, uint32_t seed = 1) {
    static const char* const words[] = {
        "the", "hall", "show", "photograph", "music", "light", "of", "and", "a", "slow",
        "beard", "back", "frame", "row", "track", "glyph", "white", "to", "in", "loading",
        "screen", "picture", "quad", "colour", "rotation", "scale", "happy", "sad", "with", "is"};
    Lcg rng(seed);
    std::vector<uint8_t> out;
    out.reserve(size);
    while (out.size() < size) {
        const std::string w = words[rng.next() % (sizeof words / sizeof words[0])];
        out.insert(out.end(), w.begin(), w.end());
        const uint32_t r = rng.next() % 16;
        out.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
    }
    out.resize(size);
    return out;
}

// Runs of one byte value, of lengths from 1 to 600: long matches at distance 1.
inline std::vector<uint8_t> runs(size_t size, uint32_t seed = 2) {
    Lcg rng(seed);
    std::vector<uint8_t> out;
    out.reserve(size);
    while (out.size() < size) out.insert(out.end(), 1 + rng.next() % 600, uint8_t(rng.next()));
    out.resize(size);
    return out;
}

// Incompressible bytes.
inline std::vector<uint8_t> random_bytes(size_t size, uint32_t seed = 3) {
    Lcg rng(seed);
    std::vector<uint8_t> out(size);
    for (uint8_t& b : out) b = uint8_t(rng.next());
    return out;
}

// What a PNG's IDAT data inflates to for a photo-like RGB picture: per row a filter byte
// (Sub, Up or Paeth) and the filtered bytes of smooth gradients with sensor noise.
inline std::vector<uint8_t> photo_rows(uint32_t width, uint32_t height, uint32_t seed = 4) {
    Lcg rng(seed);
    const size_t stride = size_t(width) * 3;
    std::vector<uint8_t> raw(stride * height);
    for (uint32_t y = 0; y < height; y++)
        for (uint32_t x = 0; x < width; x++)
            for (uint32_t c = 0; c < 3; c++) {
                const int base = int((x * (c + 1) * 97) / width + (y * (3 - c) * 131) / height);
                const int noise = int(rng.next() % 9) - 4;
                raw[y * stride + x * 3 + c] = uint8_t(base + noise + 40 * c);
            }
    auto at = [&](int64_t y, int64_t i) -> int { return y < 0 || i < 0 ? 0 : raw[size_t(y) * stride + size_t(i)]; };
    std::vector<uint8_t> out;
    out.reserve((stride + 1) * height);
    for (uint32_t y = 0; y < height; y++) {
        const uint8_t filter = uint8_t(y % 3 == 0 ? 1 : y % 3 == 1 ? 2 : 4);
        out.push_back(filter);
        for (size_t i = 0; i < stride; i++) {
            const int a = at(y, int64_t(i) - 3), b = at(int64_t(y) - 1, int64_t(i)), c = at(int64_t(y) - 1, int64_t(i) - 3);
            int pred = filter == 1 ? a : filter == 2 ? b : 0;
            if (filter == 4) {
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            out.push_back(uint8_t(at(y, int64_t(i)) - pred));
        }
    }
    return out;
}

// zlib's compression of `data` with the given level, strategy and window (9..15 bits).
inline std::vector<uint8_t> zlib_compress(const std::vector<uint8_t>& data, int level = Z_DEFAULT_COMPRESSION,
                                          int strategy = Z_DEFAULT_STRATEGY, int window_bits = 15) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, window_bits, 8, strategy) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::vector<uint8_t> out(deflateBound(&z, uLong(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    const size_t produced = z.total_out;
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
    out.resize(produced);
    return out;
}

}  // namespace samples
