#include "tools/studio/waveform.h"

#include <algorithm>
#include <cstdlib>

#include "show/mp3_stream.h"
#include "show/music_clock.h"

namespace {

constexpr long RATE = 44100;
constexpr size_t FRAMES_PER_ROW = static_cast<size_t>(RATE / ROW_RATE);  // 2205
const std::vector<float> NONE;

}  // namespace

Waveform::Waveform(std::string music_path) : thread_([this, path = std::move(music_path)] { decode(path); }) {}

Waveform::~Waveform() {
  stop_ = true;
  thread_.join();
}

const std::vector<float>& Waveform::peaks() const { return ready() ? peaks_ : NONE; }

void Waveform::decode(const std::string& path) {
  Mp3Stream stream;
  std::vector<float> peaks;
  if (stream.open(path.c_str(), RATE)) {
    std::vector<int16_t> row(FRAMES_PER_ROW * 2);
    while (!stop_) {
      const size_t got = stream.read(row.data(), FRAMES_PER_ROW);
      if (got == 0) break;
      int peak = 0;
      for (size_t i = 0; i < got * 2; ++i) peak = std::max(peak, std::abs(static_cast<int>(row[i])));
      peaks.push_back(static_cast<float>(peak) / 32768.0f);
    }
  }
  peaks_ = std::move(peaks);
  ready_.store(true, std::memory_order_release);
}
