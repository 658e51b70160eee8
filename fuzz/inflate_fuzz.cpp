// libFuzzer target for the inflater. Beyond the sanitizers' own checks it holds the inflater
// to its promises: the table-driven decoder gives the exact decoder's result code for every
// input and its bytes on success, also when only a prefix is kept; whatever zlib accepts it
// decodes to the same bytes; and no input makes the output array grow beyond what the input's
// bits could fill.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "png/zlib_stream.h"

namespace {

// zlib's own decoding of a complete stream into `out` (its size the limit); false if zlib
// refuses the stream or it does not fit.
bool zlib_decodes(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t& out_size) {
    uLongf produced = uLongf(out.size());
    uLong in_size = uLong(size);
    if (uncompress2(out.data(), &produced, data, &in_size) != Z_OK) return false;
    out_size = produced;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    const uint32_t code = zlib_decompress({data, size}, out);
    if (inflate_describe(code) == nullptr) std::abort();  // a code outside the table

    // 258 bytes per two bits, plus the one stored block that may have grown and then failed.
    const uint64_t most = uint64_t(size) * 8 * 129 + 65535;
    if (out.size() > most) std::abort();

    std::vector<uint8_t> exact;
    if (zlib_decompress_with({data, size}, exact, {.exact = true}) != code) std::abort();  // another code
    if (code == 0 && exact != out) std::abort();  // other bytes
    const uint64_t keep = code == 0 ? out.size() / 2 : size;
    std::vector<uint8_t> kept;
    if (zlib_decompress_with({data, size}, kept, {.keep = keep}) != code) std::abort();  // the prefix changed the code
    if (code == 0 && !std::equal(kept.begin(), kept.end(), out.begin(), out.begin() + long(keep)))
        std::abort();  // not the prefix

    static std::vector<uint8_t> expected(1 << 18);  // kept between runs: no 256 KiB per input
    size_t expected_size = 0;
    if (zlib_decodes(data, size, expected, expected_size)) {
        if (code != 0) std::abort();  // refused a stream that zlib decodes
        if (out.size() != expected_size || !std::equal(out.begin(), out.end(), expected.begin()))
            std::abort();  // decoded it differently
    }
    return 0;
}
