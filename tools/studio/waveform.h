#pragma once
// The music's loudness along the timeline: for every row, the largest sample of its 50 ms (0 to 1).
// The whole file is decoded once, on a thread of its own, with the show's own MP3 decoding; the
// peaks are there when ready() says so and never change afterwards.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

class Waveform {
 public:
  explicit Waveform(std::string music_path);
  ~Waveform();  // stops the decoding if it is still running
  Waveform(const Waveform&) = delete;
  Waveform& operator=(const Waveform&) = delete;

  bool ready() const { return ready_.load(std::memory_order_acquire); }
  // One peak a row; empty until ready, and when there is no music.
  const std::vector<float>& peaks() const;

 private:
  void decode(const std::string& path);

  std::vector<float> peaks_;
  std::atomic<bool> ready_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
