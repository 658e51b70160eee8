#include "tools/make/audio_analysis.h"

#include <aubio/aubio.h>
#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int RATE = 44100;  // aubio sizes its tempo window in hops: other rates shift its tempi
constexpr int HOP = 512;
constexpr int WINDOW = 1024;

struct Mpg123Deleter {
  void operator()(mpg123_handle* h) const {
    mpg123_close(h);
    mpg123_delete(h);
  }
};

// aubio's objects, each freed by its own function, on every way out.
template <class T, void (*Free)(T*)>
struct AubioFree {
  void operator()(T* p) const {
    if (p) Free(p);
  }
};
template <class T, void (*Free)(T*)>
using Aubio = std::unique_ptr<T, AubioFree<T, Free>>;

}  // namespace

bool analyse_audio(const std::string& mp3_path, AudioAnalysis& out, std::string& why,
                   const std::function<bool(double)>& progress) {
  mpg123_init();
  int err = 0;
  std::unique_ptr<mpg123_handle, Mpg123Deleter> mh(mpg123_new(nullptr, &err));
  if (!mh) {
    why = "cannot start the MP3 decoder";
    return false;
  }
  mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_MONO | MPG123_FORCE_FLOAT, 0);
  mpg123_param(mh.get(), MPG123_FORCE_RATE, RATE, 0);
  mpg123_format_none(mh.get());
  mpg123_format(mh.get(), RATE, MPG123_MONO, MPG123_ENC_FLOAT_32);
  if (mpg123_open(mh.get(), mp3_path.c_str()) != MPG123_OK) {
    why = "cannot open " + mp3_path;
    return false;
  }
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(mh.get(), &rate, &channels, &encoding) != MPG123_OK || encoding != MPG123_ENC_FLOAT_32 ||
      channels != 1) {
    why = "the MP3 decoder finds no audio frames";
    return false;
  }
  const off_t total = mpg123_length(mh.get());

  // aubio's shared tables freed after its objects (destroyed in the reverse order of these lines).
  struct AubioCleanup {
    ~AubioCleanup() { aubio_cleanup(); }
  } cleanup;
  const Aubio<aubio_tempo_t, del_aubio_tempo> tempo_object(new_aubio_tempo("default", WINDOW, HOP, RATE));
  const Aubio<aubio_onset_t, del_aubio_onset> onset_object(new_aubio_onset("default", WINDOW, HOP, RATE));
  const Aubio<fvec_t, del_fvec> in_vector(new_fvec(HOP)), beat_vector(new_fvec(1)), hit_vector(new_fvec(1));
  const Aubio<aubio_pvoc_t, del_aubio_pvoc> pvoc_object(new_aubio_pvoc(WINDOW, HOP));
  const Aubio<cvec_t, del_cvec> spectrum_vector(new_cvec(WINDOW));
  const Aubio<aubio_filterbank_t, del_aubio_filterbank> mel_object(new_aubio_filterbank(AudioAnalysis::BANDS, WINDOW));
  const Aubio<fvec_t, del_fvec> bands_vector(new_fvec(AudioAnalysis::BANDS));
  aubio_tempo_t* tempo = tempo_object.get();
  aubio_onset_t* onset = onset_object.get();
  fvec_t *in = in_vector.get(), *beat = beat_vector.get(), *hit = hit_vector.get(), *bands = bands_vector.get();
  aubio_pvoc_t* pvoc = pvoc_object.get();
  cvec_t* spectrum = spectrum_vector.get();
  aubio_filterbank_t* mel = mel_object.get();
  if (mel) aubio_filterbank_set_mel_coeffs(mel, RATE, 40, 8000);
  if (!tempo || !onset || !in || !beat || !hit || !pvoc || !spectrum || !mel || !bands) {
    why = "cannot start the beat tracker";
    return false;
  }
  aubio_onset_set_minioi_ms(onset, 40);

  out = AudioAnalysis{};
  out.frame_seconds = static_cast<double>(HOP) / RATE;
  // Energy below about 150 Hz: a one-pole low-pass, its level per frame in dB.
  const double a = 1 - std::exp(-2 * M_PI * 150.0 / RATE);
  double low = 0, prev_low_db = -120;
  std::vector<float> block(HOP);
  size_t filled = 0;
  uint64_t frames = 0;
  bool ok = true;
  int ended = MPG123_DONE;
  std::vector<unsigned char> bytes(HOP * 4 * 16);
  for (;;) {
    size_t done = 0;
    const int r = mpg123_read(mh.get(), bytes.data(), bytes.size(), &done);
    const size_t samples = done / 4;
    const float* f = reinterpret_cast<const float*>(bytes.data());
    for (size_t i = 0; i < samples; ++i) {
      block[filled++] = f[i];
      if (filled < static_cast<size_t>(HOP)) continue;
      filled = 0;
      double power = 0, low_power = 0;
      for (int k = 0; k < HOP; ++k) {
        in->data[k] = block[k];
        power += static_cast<double>(block[k]) * block[k];
        low += a * (block[k] - low);
        low_power += low * low;
      }
      aubio_tempo_do(tempo, in, beat);
      aubio_onset_do(onset, in, hit);
      aubio_pvoc_do(pvoc, in, spectrum);
      aubio_filterbank_do(mel, spectrum, bands);
      for (int k = 0; k < AudioAnalysis::BANDS; ++k) out.bands.push_back(std::log(bands->data[k] + 1e-6f));
      if (beat->data[0] != 0) out.beats.push_back(aubio_tempo_get_last_s(tempo));
      if (hit->data[0] != 0) out.onsets.push_back(aubio_onset_get_last_s(onset));
      const float db = static_cast<float>(10 * std::log10(std::max(power / HOP, 1e-12)));
      const double low_db = 10 * std::log10(std::max(low_power / HOP, 1e-12));
      out.loudness.push_back(db);
      out.flux.push_back(std::max(0.f, aubio_onset_get_descriptor(onset)));
      out.low_flux.push_back(static_cast<float>(std::max(0.0, low_db - prev_low_db)));
      prev_low_db = low_db;
      ++frames;
      if (frames % 2048 == 0 && progress && !progress(total > 0 ? static_cast<double>(frames * HOP) / total : 0)) {
        ok = false;
        break;
      }
    }
    if (!ok || r == MPG123_DONE || (r != MPG123_OK && r != MPG123_NEW_FORMAT)) {
      ended = r;
      break;
    }
  }
  out.duration = static_cast<double>(frames * HOP + filled) / RATE;
  // Beats the tracker placed beyond the end (its delay compensation) are dropped.
  std::erase_if(out.beats, [&](double t) { return t < 0 || t > out.duration; });
  std::sort(out.onsets.begin(), out.onsets.end());
  if (!ok) return false;  // stopped by `progress`
  if (ended != MPG123_DONE) {
    // The decoder gave up partway (a damaged stretch it cannot get past): the show would stop
    // there too, so this is no song of this length.
    char at[96];
    std::snprintf(at, sizeof at, "%.2f s", out.duration);
    why = std::string("the MP3 cannot be decoded past ") + at +
          (total > 0 ? " of its " + std::to_string(static_cast<long long>(total / RATE)) + " s" : std::string()) + " (" +
          mpg123_plain_strerror(ended) + ")";
    return false;
  }
  if (frames == 0) {
    why = "the MP3 holds no audio";
    return false;
  }
  return true;
}
