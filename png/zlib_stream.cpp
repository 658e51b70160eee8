// The zlib wrapper around the two deflate decoders: the header checks, and the choice between the
// table-driven decoder and the exact one.
#include "png/zlib_stream.h"

#include <algorithm>

#include "png/inflate.h"
#include "png/inflate_fast.h"

// Format notes: CMF holds the method (CM, bits 0-3) and the window size (CINFO, bits 4-7);
// FLG makes 256 * CMF + FLG a multiple of 31 and flags a preset dictionary (bit 5). The
// window size is checked for range but not enforced: every distance up to 32768 is taken.
// The Adler-32 trailer, and anything after the final block, is not looked at.
//
// The table-driven decoder goes first. Whenever it gives up (on any failure, on codes the tree
// would not build, on bits it cannot prove to lie inside the input), the output array gets
// back its size on entry and the exact decoder runs from the start, so that the code, and the
// leftovers, are the exact decoder's to the byte.
uint32_t zlib_decompress_with(std::span<const uint8_t> input, std::vector<uint8_t>& output,
                              const InflateOptions& options) {
    if (input.size() < 2) return INFLATE_INPUT_TOO_SHORT;  // no room for the zlib header
    const uint32_t cmf = input[0];
    const uint32_t flg = input[1];
    if ((256 * cmf + flg) % 31 != 0) return INFLATE_HEADER_CHECK;  // header check bits wrong
    if ((cmf & 15) != 8 || (cmf >> 4) > 7) return INFLATE_HEADER_METHOD;  // not deflate, or window > 32K
    if (flg & 0x20) return INFLATE_HEADER_DICTIONARY;  // preset dictionary not supported
    const uint64_t max_output = std::min(options.max_output, INFLATE_MAX_OUTPUT);
    if (!options.exact) {
        const size_t entry_size = output.size();
        if (inflate_fast(input, output, max_output, options.keep)) return INFLATE_OK;
        output.resize(entry_size);
    }
    return inflate_exact(input, output, max_output, options.keep);
}

uint32_t zlib_decompress_limited(std::span<const uint8_t> input, std::vector<uint8_t>& output,
                                 uint64_t max_output) {
    return zlib_decompress_with(input, output, {.max_output = max_output});
}

uint32_t zlib_decompress(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
    return zlib_decompress_with(input, output, {});
}
