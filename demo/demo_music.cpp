// demo_music FILE.wav [BPM BARS [busy]]: writes the demo's music as a 16-bit stereo WAV file, for
// lame to encode; at another tempo and length, and with busy off-beats, for tests of beat tracking.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "demo/music_synth.h"

namespace {

void put(std::ofstream& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

int main(int argc, char** argv) {
  const bool busy = argc == 5 && std::string(argv[4]) == "busy";
  if (argc != 2 && argc != 4 && !busy) {
    std::fprintf(stderr, "usage: demo_music FILE.wav [BPM BARS [busy]]\n");
    return 2;
  }
  double bpm = MUSIC_BPM;
  int bars = MUSIC_BARS;
  if (argc >= 4) {
    bpm = std::atof(argv[2]);
    bars = std::atoi(argv[3]);
    if (!(bpm >= 30 && bpm <= 300) || bars < 2 || bars > 1000) {
      std::fprintf(stderr, "demo_music: BPM is 30 to 300, BARS 2 to 1000\n");
      return 2;
    }
  }
  const std::vector<int16_t> samples = synthesise_music(bpm, bars, busy ? Groove::BusyOffbeats : Groove::Plain);
  const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write("RIFF", 4), put(out, 36 + data_bytes, 4), out.write("WAVE", 4);
  out.write("fmt ", 4), put(out, 16, 4), put(out, 1, 2), put(out, 2, 2);  // PCM, stereo
  put(out, MUSIC_RATE, 4), put(out, MUSIC_RATE * 4, 4), put(out, 4, 2), put(out, 16, 2);
  out.write("data", 4), put(out, data_bytes, 4);
  for (int16_t s : samples) put(out, static_cast<uint16_t>(s), 2);
  out.close();
  if (!out) {
    std::fprintf(stderr, "demo_music: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
