// libFuzzer target for the inflater. Beyond the sanitizers' own checks it holds the inflater
// to its promises: the table-driven decoder (on every processor path) gives the exact decoder's
// result code for every input and its bytes on success, also when only a prefix is kept and under
// an output limit (none, one short, exactly enough, one over); whatever zlib accepts it decodes to
// the same bytes; and no input makes the output array grow beyond what the input's bits could fill.
//
// The exact decoder and zlib are the slow part of a run (the exact decoder under the sanitizers
// and the coverage counters most of all), so the oracles run on a sample of the inputs, chosen by
// their hash: every input whose output is tiny, and one in eight of the others. The fast decoder
// (with its hand-over to the exact one on failures) still runs on every input.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "png/zlib_stream.h"

namespace {

constexpr size_t ALWAYS_CHECKED_OUTPUT = 256;
constexpr size_t SAMPLE_ONE_IN = 8;

// zlib's own decoding of a complete stream into `out` (its size the limit); false if zlib
// refuses the stream or it does not fit.
bool zlib_decodes(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t& out_size) {
    uLongf produced = uLongf(out.size());
    uLong in_size = uLong(size);
    if (uncompress2(out.data(), &produced, data, &in_size) != Z_OK) return false;
    out_size = produced;
    return true;
}

void same_under_limit(const uint8_t* data, size_t size, uint64_t limit, uint32_t code, const std::vector<uint8_t>& out) {
    std::vector<uint8_t> fast, exact;
    const uint32_t fast_code = zlib_decompress_with({data, size}, fast, {.max_output = limit});
    if (zlib_decompress_with({data, size}, exact, {.max_output = limit, .exact = true}) != fast_code) std::abort();
    if (fast_code == 0 && fast != exact) std::abort();
    if (code != 0) return;
    // A stream that decodes: under its length the limit is what stops it, from its length on nothing.
    if (limit < out.size() ? fast_code != INFLATE_OUTPUT_LIMIT : (fast_code != 0 || fast != out)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    const uint32_t code = zlib_decompress({data, size}, out);
    if (inflate_describe(code) == nullptr) std::abort();  // a code outside the table

    // 258 bytes per two bits, plus the one stored block that may have grown and then failed.
    const uint64_t most = uint64_t(size) * 8 * 129 + 65535;
    if (out.size() > most) std::abort();

    const size_t hash = std::hash<std::string_view>{}({reinterpret_cast<const char*>(data), size});
    if (out.size() > ALWAYS_CHECKED_OUTPUT && hash % SAMPLE_ONE_IN != 0) return 0;

    std::vector<uint8_t> exact;
    if (zlib_decompress_with({data, size}, exact, {.exact = true}) != code) std::abort();  // another code
    if (code == 0 && exact != out) std::abort();  // other bytes
    std::vector<uint8_t> portable;
    if (zlib_decompress_with({data, size}, portable, {.cpu = CPU_PORTABLE}) != code) std::abort();
    if (code == 0 && portable != out) std::abort();  // the portable loop decodes otherwise
    const uint64_t keep = code == 0 ? out.size() / 2 : size;
    std::vector<uint8_t> kept;
    if (zlib_decompress_with({data, size}, kept, {.keep = keep}) != code) std::abort();  // the prefix changed the code
    if (code == 0 && !std::equal(kept.begin(), kept.end(), out.begin(), out.begin() + long(keep)))
        std::abort();  // not the prefix

    const uint64_t n = out.size();
    for (uint64_t limit : {uint64_t(0), n - 1, n, n + 1})
        if (limit <= n + 1) same_under_limit(data, size, limit, code, out);  // n - 1 wraps when n is 0

    static std::vector<uint8_t> expected(1 << 18);  // kept between runs: no 256 KiB per input
    size_t expected_size = 0;
    if (zlib_decodes(data, size, expected, expected_size)) {
        if (code != 0) std::abort();  // refused a stream that zlib decodes
        if (out.size() != expected_size || !std::equal(out.begin(), out.end(), expected.begin()))
            std::abort();  // decoded it differently
    }
    return 0;
}
