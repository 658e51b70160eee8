// Writes the seed corpus of png_fuzz into a folder: small images of every colour type, bit
// depth and interlace, with and without tRNS, their image data random filter types and bytes
// (every such byte sequence unfilters to some image), some split over several IDAT chunks; and
// pieces of the corpus photographs.
// Usage: png_fuzz_seeds FOLDER
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/png/corpus_files.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

void chunk(Bytes& out, const char* type, const Bytes& data) {
  const size_t start = out.size();
  put32(out, uint32_t(data.size()));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put32(out, uint32_t(crc32(0, out.data() + start + 4, uInt(out.size() - start - 4))));
}

uint32_t bits_per_pixel(int colour_type, int depth) {
  const int samples[] = {1, 0, 3, 1, 2, 0, 4};
  return uint32_t(samples[colour_type] * depth);
}

// Filtered image data: for each row of the image (or of each Adam7 pass in turn) a random
// filter type 0 to 4, then random line bytes. Passes of width 0 take no bytes.
Bytes image_data(uint32_t w, uint32_t h, uint32_t bpp, bool interlaced, std::mt19937& rng) {
  std::uniform_int_distribution<uint32_t> byte(0, 255), filter(0, 4);
  Bytes data;
  auto rows = [&](uint64_t pw, uint64_t ph) {
    if (pw == 0) return;
    for (uint64_t y = 0; y < ph; ++y) {
      data.push_back(uint8_t(filter(rng)));
      for (uint64_t i = 0; i < (pw * bpp + 7) / 8; ++i) data.push_back(uint8_t(byte(rng)));
    }
  };
  if (!interlaced) {
    rows(w, h);
    return data;
  }
  const uint32_t pass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                               {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  for (const auto& p : pass) rows((w + p[2] - 1 - p[0]) / p[2], (h + p[3] - 1 - p[1]) / p[3]);
  return data;
}

Bytes seed(std::mt19937& rng, int colour_type, int depth, bool interlaced, bool trns, int idat_parts) {
  std::uniform_int_distribution<uint32_t> side(1, 13), byte(0, 255);
  const uint32_t w = side(rng), h = side(rng), bpp = bits_per_pixel(colour_type, depth);
  Bytes out = {137, 80, 78, 71, 13, 10, 26, 10};
  Bytes ihdr;
  put32(ihdr, w);
  put32(ihdr, h);
  ihdr.insert(ihdr.end(), {uint8_t(depth), uint8_t(colour_type), 0, 0, uint8_t(interlaced)});
  chunk(out, "IHDR", ihdr);
  chunk(out, "tEXt", Bytes{'s', 0, 'e', 'e', 'd'});
  if (colour_type == 3) {
    Bytes plte(3 * 256);
    for (uint8_t& b : plte) b = uint8_t(byte(rng));
    chunk(out, "PLTE", plte);
  }
  if (trns) {
    Bytes t(colour_type == 3 ? 1 + byte(rng) : colour_type == 0 ? 2 : 6);
    for (uint8_t& b : t) b = uint8_t(byte(rng));
    chunk(out, "tRNS", t);
  }
  const Bytes data = image_data(w, h, bpp, interlaced, rng);
  uLongf size = compressBound(uLong(data.size()));
  Bytes z(size);
  compress2(z.data(), &size, data.data(), uLong(data.size()), int(byte(rng) % 10));
  z.resize(size);
  const size_t part = z.size() / size_t(idat_parts) + 1;
  for (size_t at = 0; at < z.size(); at += part)
    chunk(out, "IDAT", Bytes(z.begin() + at, z.begin() + std::min(z.size(), at + part)));
  chunk(out, "IEND", {});
  return out;
}

// Pieces of the photographs of scripts/corpus.sh, when it has run: a few rows of each (from its
// top, and from its middle) as a PNG of their own, with the photograph's palette and
// transparency and its own filter types and bytes. A whole photograph decodes to megabytes on
// every run, and a fuzzer spending its minute on those explores nothing. Interlaced photographs,
// whose rows cannot be cut out, are left out.
constexpr size_t PIECE_BYTES = 8192;  // of filtered rows, at least one row

std::vector<Bytes> photo_pieces(const Bytes& png) {
  if (png.size() < 33 || !std::equal(png.begin() + 12, png.begin() + 16, "IHDR") || png[28] != 0) return {};
  const auto be32 = [&](size_t at) {
    return uint32_t(png[at]) << 24 | uint32_t(png[at + 1]) << 16 | uint32_t(png[at + 2]) << 8 | png[at + 3];
  };
  const uint32_t w = be32(16), h = be32(20), depth = png[24], colour_type = png[25];
  if (colour_type > 6 || h == 0) return {};
  const uint64_t line = (uint64_t(w) * bits_per_pixel(int(colour_type), int(depth)) + 7) / 8 + 1;
  const uint64_t rows = std::min<uint64_t>(h, std::max<uint64_t>(1, PIECE_BYTES / line));
  const uint64_t middle = h / 2 > rows ? h / 2 : 0;
  Bytes keep;  // the PLTE and tRNS chunks, as they are
  Bytes idat;
  for (size_t at = 33; at + 12 <= png.size();) {
    const uint32_t length = be32(at);
    if (at + 12 + uint64_t(length) > png.size()) break;
    const Bytes type(png.begin() + long(at) + 4, png.begin() + long(at) + 8);
    const auto data = png.begin() + long(at) + 8;
    if (std::equal(type.begin(), type.end(), "IDAT")) idat.insert(idat.end(), data, data + length);
    if (std::equal(type.begin(), type.end(), "PLTE") || std::equal(type.begin(), type.end(), "tRNS"))
      keep.insert(keep.end(), png.begin() + long(at), png.begin() + long(at) + 12 + length);
    at += 12 + size_t(length);
  }
  Bytes inflated((middle + rows) * line);
  uLongf produced = uLongf(inflated.size());
  uLong consumed = uLong(idat.size());
  const int r = uncompress2(inflated.data(), &produced, idat.data(), &consumed);
  if ((r != Z_OK && r != Z_BUF_ERROR) || produced < inflated.size()) return {};
  std::vector<Bytes> pieces;
  std::vector<uint64_t> firsts = {0};
  if (middle > 0) firsts.push_back(middle);
  for (uint64_t first : firsts) {
    Bytes out = {137, 80, 78, 71, 13, 10, 26, 10};
    Bytes ihdr(png.begin() + 16, png.begin() + 29);
    ihdr[4] = uint8_t(rows >> 24), ihdr[5] = uint8_t(rows >> 16), ihdr[6] = uint8_t(rows >> 8), ihdr[7] = uint8_t(rows);
    chunk(out, "IHDR", ihdr);
    out.insert(out.end(), keep.begin(), keep.end());
    const Bytes piece(inflated.begin() + long(first * line), inflated.begin() + long((first + rows) * line));
    uLongf size = compressBound(uLong(piece.size()));
    Bytes z(size);
    compress2(z.data(), &size, piece.data(), uLong(piece.size()), 6);
    z.resize(size);
    chunk(out, "IDAT", z);
    chunk(out, "IEND", {});
    pieces.push_back(out);
  }
  return pieces;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: png_fuzz_seeds FOLDER\n");
    return 2;
  }
  const struct { int colour_type, depth; } formats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                                        {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  std::mt19937 rng(1);
  int n = 0;
  for (const auto& f : formats)
    for (bool interlaced : {false, true})
      for (bool trns : {false, true}) {
        if (trns && (f.colour_type == 4 || f.colour_type == 6)) continue;
        const Bytes file = seed(rng, f.colour_type, f.depth, interlaced, trns, 1 + n % 3);
        const std::string path = std::string(argv[1]) + "/seed_" + std::to_string(n++) + ".png";
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        if (!out) {
          std::fprintf(stderr, "png_fuzz_seeds: cannot write %s\n", path.c_str());
          return 1;
        }
      }
  for (const auto& photo : corpus::files("photos", ".png"))
    for (const Bytes& piece : photo_pieces(corpus::read(photo))) {
      const std::string path = std::string(argv[1]) + "/piece_" + std::to_string(n++) + ".png";
      std::ofstream out(path, std::ios::binary);
      out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size()));
      if (!out) {
        std::fprintf(stderr, "png_fuzz_seeds: cannot write %s\n", path.c_str());
        return 1;
      }
    }
  return 0;
}
