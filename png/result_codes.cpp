// Texts for the result codes of the decoder and its inflater.
#include "png/result_codes.h"

#include "png/inflate.h"

namespace {

const char* describe_decoder_result(uint32_t code) {
  switch (code) {
    case PNG_OK: return "success";
    case PNG_NO_INPUT: return "no input: the file is empty or could not be read";
    case PNG_TOO_SHORT: return "too short to hold a PNG header";
    case PNG_BAD_SIGNATURE: return "not a PNG file: wrong signature";
    case PNG_NO_IHDR: return "the first chunk is not IHDR";
    case PNG_BAD_COMPRESSION_METHOD: return "unknown compression method";
    case PNG_BAD_FILTER_METHOD: return "unknown filter method";
    case PNG_BAD_INTERLACE_METHOD: return "unknown interlace method";
    case PNG_BAD_COLOUR_TYPE: return "unknown colour type";
    case PNG_BAD_BIT_DEPTH: return "bit depth not allowed for the colour type";
    case PNG_ZERO_WIDTH: return "image width is 0";
    case PNG_IMAGE_TOO_LARGE: return "image too large to decode";
    case PNG_NO_IEND: return "the file ends before its IEND chunk";
    case PNG_CHUNK_TOO_LONG: return "chunk length above 2^31 - 1";
    case PNG_CHUNK_PAST_END: return "chunk data run past the end of the file";
    case PNG_PALETTE_TOO_LONG: return "palette with more than 256 entries";
    case PNG_TRNS_BEYOND_PALETTE: return "tRNS longer than the palette (or before PLTE)";
    case PNG_TRNS_GREY_LENGTH: return "greyscale tRNS is not 2 bytes long";
    case PNG_TRNS_RGB_LENGTH: return "RGB tRNS is not 6 bytes long";
    case PNG_TRNS_WITH_ALPHA: return "tRNS in an image with an alpha channel";
    case PNG_UNKNOWN_CRITICAL_CHUNK: return "unknown critical chunk";
    case PNG_DATA_TOO_SMALL: return "image data far too small for the image size";
    case PNG_ROWS_TRUNCATED: return "image data shorter than the rows need";
    case PNG_BAD_FILTER_TYPE: return "row filter type above 4";
    case PNG_INDEX_BEYOND_PALETTE: return "pixel index beyond the palette";
    case PNG_INDEX_BEYOND_PALETTE_LOW: return "pixel index beyond the palette (bit depth below 8)";
    default: return nullptr;
  }
}

}  // namespace

const char* describe_result(uint32_t code) {
  if (const char* text = describe_decoder_result(code)) return text;
  if (const char* text = inflate_describe(code)) return text;
  return "unknown result code";
}
