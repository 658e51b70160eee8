#pragma once
// The table-driven inflater, used by zlib_decompress_with before the exact one.
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Decodes the deflate data of `input` (a zlib stream whose two header bytes have been checked)
// into `output`, storing only the first `keep` bytes. Returns true when the stream decoded
// cleanly: output then holds exactly what the exact decoder gives. Returns false whenever the
// outcome is anything else or it cannot tell (a failure, a code the exact decoder's tree would
// not build as a plain prefix code, a bit beyond the input): output then holds leftovers, and
// the exact decoder must decide.
// About how many output bytes come between two progress reports.
inline constexpr uint64_t INFLATE_PROGRESS_STEP = 64 * 1024;

// `cpu` masks the processor extensions (cpu_features.h) it may use; `progress`, when set, hears of
// the output's leading bytes that are final, as InflateOptions describes.
bool inflate_fast(std::span<const uint8_t> input, std::vector<uint8_t>& output, uint64_t max_output,
                  uint64_t keep, uint32_t cpu,
                  const std::function<void(const uint8_t* output, uint64_t final_bytes)>& progress = {});
