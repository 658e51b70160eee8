#include "demo/music_synth.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr double PI = 3.14159265358979323846;

struct Mix {
  std::vector<float> left, right;
  explicit Mix(size_t n) : left(n), right(n) {}
  size_t size() const { return left.size(); }
  void add(size_t i, double v, double pan) {  // pan: -1 left … 1 right
    if (i >= size()) return;
    left[i] += static_cast<float>(v * std::sqrt(0.5 * (1 - pan)));
    right[i] += static_cast<float>(v * std::sqrt(0.5 * (1 + pan)));
  }
};

double midi_hz(double note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }
size_t at(double seconds) { return static_cast<size_t>(std::max(seconds, 0.0) * MUSIC_RATE); }

// A tiny deterministic noise source, so the piece is the same on every machine.
struct Noise {
  uint32_t state = 0x12345678u;
  double next() {
    state ^= state << 13, state ^= state >> 17, state ^= state << 5;
    return state / 2147483648.0 - 1.0;
  }
};

// Sawtooth with its discontinuity smoothed (polyBLEP), so high notes do not alias into hiss.
struct Saw {
  double phase = 0, step = 0;
  double next() {
    double v = 2 * phase - 1;
    if (phase < step) {
      const double t = phase / step;
      v -= t + t - t * t - 1;
    } else if (phase > 1 - step) {
      const double t = (phase - 1) / step;
      v -= t * t + t + t + 1;
    }
    phase += step;
    if (phase >= 1) phase -= 1;
    return v;
  }
};

struct LowPass {
  double y1 = 0, y2 = 0;
  double next(double x, double cutoff_hz) {
    const double a = 1 - std::exp(-2 * PI * cutoff_hz / MUSIC_RATE);
    y1 += a * (x - y1);
    y2 += a * (y1 - y2);
    return y2;
  }
};

// ---- drums ----------------------------------------------------------------------------------

void kick(Mix& m, double t, double gain) {
  double phase = 0;
  for (size_t i = 0, n = at(0.45); i < n; ++i) {
    const double s = static_cast<double>(i) / MUSIC_RATE;
    phase += 2 * PI * (48 + 110 * std::exp(-s * 28)) / MUSIC_RATE;
    const double click = 0.25 * std::sin(2 * PI * 1500 * s) * std::exp(-s * 600);  // the beater
    m.add(at(t) + i, gain * (std::sin(phase) * std::exp(-s * 7.5) + click), 0);
  }
}

void snare(Mix& m, double t, double gain, Noise& noise) {
  double last = 0, phase = 0;
  for (size_t i = 0, n = at(0.25); i < n; ++i) {
    const double s = static_cast<double>(i) / MUSIC_RATE;
    const double white = noise.next();
    const double bright = white - last;  // a first difference: the noise without its rumble
    last = white;
    phase += 2 * PI * 190 / MUSIC_RATE;
    m.add(at(t) + i, gain * (0.55 * bright * std::exp(-s * 16) + 0.5 * std::sin(phase) * std::exp(-s * 30)), 0.1);
  }
}

void hat(Mix& m, double t, double gain, double decay, Noise& noise) {
  double last = 0;
  for (size_t i = 0, n = at(decay * 6); i < n; ++i) {
    const double s = static_cast<double>(i) / MUSIC_RATE;
    const double white = noise.next();
    m.add(at(t) + i, gain * (white - last) * std::exp(-s / decay), 0.35);
    last = white;
  }
}

// A long wash of noise that swells into the next section.
void riser(Mix& m, double t, double length, double gain, Noise& noise) {
  LowPass lp;
  for (size_t i = 0, n = at(length); i < n; ++i) {
    const double f = static_cast<double>(i) / n;
    const double v = lp.next(noise.next(), 300 + 6000 * f * f);
    m.add(at(t) + i, gain * v * f * f, std::sin(f * 12) * 0.5);
  }
}

void crash(Mix& m, double t, double gain, Noise& noise) {
  double last = 0;
  for (size_t i = 0, n = at(2.0); i < n; ++i) {
    const double s = static_cast<double>(i) / MUSIC_RATE;
    const double white = noise.next();
    m.add(at(t) + i, gain * (white - last) * std::exp(-s * 2.2), (i % 2) ? 0.4 : -0.4);
    last = white;
  }
}

// ---- tones ----------------------------------------------------------------------------------

// Plucked bass: a filtered saw whose filter closes quickly after the attack.
void bass(Mix& m, double t, double length, double note, double gain) {
  Saw saw{0, midi_hz(note) / MUSIC_RATE};
  Saw sub{0.5, midi_hz(note - 12) / MUSIC_RATE};
  LowPass lp;
  for (size_t i = 0, n = at(length + 0.05); i < n; ++i) {
    const double s = static_cast<double>(i) / MUSIC_RATE;
    const double env = std::min(s / 0.004, 1.0) * (s < length ? 1.0 : std::exp(-(s - length) * 80));
    const double v = lp.next(saw.next() * 0.7 + sub.next() * 0.5, 180 + 1400 * std::exp(-s * 14));
    m.add(at(t) + i, gain * env * v, 0);
  }
}

// Warm chord pad: two slightly detuned saws per note, slow attack and release, gently filtered.
void pad(Mix& m, double t, double length, const int (&notes)[3], double gain) {
  for (int k = 0; k < 3; ++k)
    for (int d = 0; d < 2; ++d) {
      const double detune = d ? 1.004 : 0.996;
      Saw saw{0.3 * k + 0.5 * d, midi_hz(notes[k]) * detune / MUSIC_RATE};
      LowPass lp;
      const double pan = (k - 1) * 0.5 + (d ? 0.2 : -0.2);
      for (size_t i = 0, n = at(length + 0.6); i < n; ++i) {
        const double s = static_cast<double>(i) / MUSIC_RATE;
        const double env = std::min(s / 0.35, 1.0) * (s < length ? 1.0 : std::exp(-(s - length) * 7));
        m.add(at(t) + i, gain * env * lp.next(saw.next(), 1100), pan);
      }
    }
}

// A bell-like pluck for the arpeggio and the closing chord: two sines, the upper one dying first.
void pluck(Mix& m, double t, double note, double gain, double decay, double pan) {
  const double hz = midi_hz(note);
  for (size_t i = 0, n = at(decay * 6); i < n; ++i) {
    const double s = static_cast<double>(i) / MUSIC_RATE;
    const double v = std::sin(2 * PI * hz * s) * std::exp(-s / decay) +
                     0.35 * std::sin(4 * PI * hz * s) * std::exp(-s / (decay * 0.4));
    m.add(at(t) + i, gain * std::min(s / 0.002, 1.0) * v, pan);
  }
}

// The singing lead: a soft square-ish tone with a delayed vibrato.
void lead(Mix& m, double t, double length, double note, double gain) {
  const double hz = midi_hz(note);
  double phase = 0;
  LowPass lp;
  for (size_t i = 0, n = at(length + 0.15); i < n; ++i) {
    const double s = static_cast<double>(i) / MUSIC_RATE;
    const double vibrato = 1 + 0.004 * std::sin(2 * PI * 5.5 * s) * std::min(s / 0.4, 1.0);
    phase += 2 * PI * hz * vibrato / MUSIC_RATE;
    const double tone = std::sin(phase) + 0.3 * std::sin(3 * phase) + 0.12 * std::sin(5 * phase);
    const double env = std::min(s / 0.02, 1.0) * (s < length ? 1.0 - 0.25 * std::min(s / 1.0, 1.0)
                                                              : 0.75 * std::exp(-(s - length) * 30));
    m.add(at(t) + i, gain * env * lp.next(tone, 3500), -0.1);
  }
}

// ---- the piece ------------------------------------------------------------------------------

struct Chord {
  int bass;
  int pad[3];
  int arp[4];
};

// Am, F, C, G: one chord a bar, round and round.
constexpr Chord CHORDS[4] = {
    {45, {57, 60, 64}, {69, 72, 76, 81}},
    {41, {57, 60, 65}, {65, 69, 72, 77}},
    {48, {55, 60, 64}, {67, 72, 76, 79}},
    {43, {55, 59, 62}, {67, 71, 74, 79}},
};

struct Note {
  int bar;  // within the eight-bar tune
  double beat, length;
  int pitch;
};

constexpr Note TUNE[] = {
    {0, 0, 1, 76},   {0, 1, 0.5, 72}, {0, 1.5, 0.5, 74}, {0, 2, 1, 76},   {0, 3, 1, 79},
    {1, 0, 1.5, 81}, {1, 1.5, 0.5, 79}, {1, 2, 1, 77},   {1, 3, 1, 76},
    {2, 0, 1, 76},   {2, 1, 1, 79},   {2, 2, 1.5, 79},   {2, 3.5, 0.5, 76},
    {3, 0, 2, 74},   {3, 2, 1, 71},   {3, 3, 1, 74},
    {4, 0, 1, 72},   {4, 1, 1, 76},   {4, 2, 2, 81},
    {5, 0, 0.5, 81}, {5, 0.5, 0.5, 79}, {5, 1, 1, 77},   {5, 2, 1, 81},   {5, 3, 1, 84},
    {6, 0, 1.5, 79}, {6, 1.5, 0.5, 76}, {6, 2, 1, 79},   {6, 3, 1, 76},
    {7, 0, 3, 74},
};

constexpr int ARP_ORDER[8] = {0, 1, 2, 3, 2, 1, 2, 1};

// Echoes of one part at three sixteenths, alternating sides: space without a reverb.
void echo(Mix& dry, const Mix& wet, double feedback, double beat) {
  const size_t delay = at(beat * 0.75);
  std::vector<float> l = wet.left, r = wet.right;
  for (size_t i = delay; i < l.size(); ++i) {
    l[i] += static_cast<float>(feedback * r[i - delay]);
    r[i] += static_cast<float>(feedback * l[i - delay]);
  }
  for (size_t i = 0; i < dry.size(); ++i) {
    dry.left[i] += wet.left[i] + 0.6f * (l[i] - wet.left[i]);
    dry.right[i] += wet.right[i] + 0.6f * (r[i] - wet.right[i]);
  }
}

}  // namespace

std::vector<int16_t> synthesise_music(double bpm, int bars, Groove groove) {
  const double BEAT = 60.0 / bpm;  // seconds
  const double BAR = 4 * BEAT;
  // The closing chord rings for a second and a half after the last bar line, then a second of silence.
  const double end_seconds = (bars - 1) * BAR + (MUSIC_END_SECONDS - (MUSIC_BARS - 1) * 4 * 60.0 / MUSIC_BPM);
  const double length_seconds = end_seconds + (MUSIC_LENGTH_SECONDS - MUSIC_END_SECONDS);
  const size_t frames = at(length_seconds);
  Mix mix(frames), spacious(frames);
  Noise noise;

  for (int played = 0; played < bars - 1; ++played) {
    const double t = played * BAR;
    // Past the demo's length its body comes round again.
    const int bar = bars <= MUSIC_BARS || played < 4 ? played : 4 + (played - 4) % 30;
    const Chord& chord = CHORDS[bar % 4];
    const bool drums = (bar >= 4 && bar < 20) || (bar >= 24 && bar < 34);
    const bool snares = (bar >= 12 && bar < 20) || (bar >= 24 && bar < 32);
    const bool bassline = (bar >= 4 && bar < 20) || (bar >= 24 && bar < 34);
    const bool tune = (bar >= 12 && bar < 20) || (bar >= 24 && bar < 32);
    const bool offbeats = groove == Groove::BusyOffbeats && bar >= 4;
    const bool busy = (bar >= 24 && bar < 32) || offbeats;

    const double pad_gain = bar < 4 ? 0.018 * (bar + 1) : (bar >= 32 ? 0.07 - 0.014 * (bar - 32) : 0.07);
    pad(mix, t, BAR, chord.pad, pad_gain);

    if (bar >= 2) {
      const double arp_gain = bar < 4 ? 0.07 : (bar >= 20 && bar < 24 ? 0.14 : 0.11);
      for (int s = 0; s < 16; ++s) {
        const int step = ARP_ORDER[s % 8];
        pluck(spacious, t + s * BEAT / 4, chord.arp[step], arp_gain * (s % 4 == 0 ? 1.0 : 0.7), 0.16,
              step % 2 ? 0.45 : -0.45);
      }
    }
    for (int beat = 0; beat < 4; ++beat) {
      const double b = t + beat * BEAT;
      if (drums) kick(mix, b, 0.75);
      if (snares && beat % 2 == 1) snare(mix, b, 0.45, noise);
      if (drums || offbeats) hat(mix, b + BEAT / 2, offbeats ? 0.5 : 0.22, offbeats ? 0.06 : 0.025, noise);
      if (busy) {
        hat(mix, b + BEAT / 4, offbeats ? 0.2 : 0.08, 0.015, noise);
        hat(mix, b + 3 * BEAT / 4, offbeats ? 0.2 : 0.08, 0.015, noise);
      }
      if (bassline) {
        const int pattern[2] = {0, beat == 3 ? 7 : 12};  // root, then its octave (a fifth to lead on)
        for (int e = 0; e < 2; ++e) bass(mix, b + e * BEAT / 2, BEAT / 2 * 0.8, chord.bass + pattern[e], 0.26);
      }
    }
    if (tune)
      for (const Note& n : TUNE)
        if (n.bar == (bar - 12) % 8) lead(spacious, t + n.beat * BEAT, n.length * BEAT * 0.95, n.pitch, 0.12);
    if (bar == 23) riser(mix, t, BAR, 0.35, noise);
    if (bar == 24 || bar == 12) crash(mix, t, 0.25, noise);
  }
  // The closing chord on the downbeat of the last bar, left to ring out.
  const double end = (bars - 1) * BAR;
  kick(mix, end, 0.9);
  crash(mix, end, 0.2, noise);
  for (int k = 0; k < 4; ++k) pluck(spacious, end + k * 0.03, CHORDS[0].arp[k] - 12, 0.16, 0.35, (k - 1.5) * 0.3);
  bass(mix, end, 0.8, CHORDS[0].bass, 0.3);
  echo(mix, spacious, 0.35, BEAT);

  // Loudness: soft saturation, then a fade over the last moments so the file ends in silence.
  float peak = 0;
  for (size_t i = 0; i < frames; ++i) {
    mix.left[i] = std::tanh(mix.left[i] * 1.2f);
    mix.right[i] = std::tanh(mix.right[i] * 1.2f);
    peak = std::max({peak, std::abs(mix.left[i]), std::abs(mix.right[i])});
  }
  const double scale = peak > 0 ? 0.89 / peak : 0.0;  // about -1 dB
  std::vector<int16_t> out(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    const double s = static_cast<double>(i) / MUSIC_RATE;
    const double fade = std::clamp((end_seconds - s) / (end_seconds - end - 0.2), 0.0, 1.0);
    out[2 * i] = static_cast<int16_t>(std::lround(mix.left[i] * scale * fade * 32767));
    out[2 * i + 1] = static_cast<int16_t>(std::lround(mix.right[i] * scale * fade * 32767));
  }
  return out;
}
