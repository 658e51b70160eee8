#include "tools/make/music/audio_analysis.h"

#include <aubio/aubio.h>
#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/make/interruption.h"
#include "tools/process/child_process.h"

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

// aubio's detectors over mono samples at 44.1 kHz, fed in blocks of any size; a loudness, a
// low-band rise and the mel bands for every hop.
class Listener {
 public:
  Listener() {
    tempo_ = new_aubio_tempo("default", WINDOW, HOP, RATE);
    onset_ = new_aubio_onset("default", WINDOW, HOP, RATE);
    in_ = new_fvec(HOP);
    beat_ = new_fvec(1);
    hit_ = new_fvec(1);
    pvoc_ = new_aubio_pvoc(WINDOW, HOP);
    spectrum_ = new_cvec(WINDOW);
    mel_ = new_aubio_filterbank(AudioAnalysis::BANDS, WINDOW);
    bands_ = new_fvec(AudioAnalysis::BANDS);
    if (mel_) aubio_filterbank_set_mel_coeffs(mel_, RATE, 40, 8000);
    if (onset_) aubio_onset_set_minioi_ms(onset_, 40);
    out_.frame_seconds = static_cast<double>(HOP) / RATE;
  }
  ~Listener() {
    if (bands_) del_fvec(bands_);
    if (mel_) del_aubio_filterbank(mel_);
    if (spectrum_) del_cvec(spectrum_);
    if (pvoc_) del_aubio_pvoc(pvoc_);
    if (in_) del_fvec(in_);
    if (beat_) del_fvec(beat_);
    if (hit_) del_fvec(hit_);
    if (onset_) del_aubio_onset(onset_);
    if (tempo_) del_aubio_tempo(tempo_);
    aubio_cleanup();  // its shared tables, after its objects
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  bool ready() const { return tempo_ && onset_ && in_ && beat_ && hit_ && pvoc_ && spectrum_ && mel_ && bands_; }
  uint64_t samples() const { return frames_ * HOP + filled_; }

  void feed(const float* samples, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      block_[filled_++] = samples[i];
      if (filled_ == HOP) {
        filled_ = 0;
        hop();
      }
    }
  }

  AudioAnalysis finish() {
    out_.duration = static_cast<double>(samples()) / RATE;
    // Beats the tracker placed beyond the end (its delay compensation) are dropped.
    std::erase_if(out_.beats, [&](double t) { return t < 0 || t > out_.duration; });
    std::sort(out_.onsets.begin(), out_.onsets.end());
    return std::move(out_);
  }

 private:
  void hop() {
    double power = 0, low_power = 0;
    for (int k = 0; k < HOP; ++k) {
      in_->data[k] = block_[k];
      power += static_cast<double>(block_[k]) * block_[k];
      low_ += LOW_PASS * (block_[k] - low_);
      low_power += low_ * low_;
    }
    aubio_tempo_do(tempo_, in_, beat_);
    aubio_onset_do(onset_, in_, hit_);
    aubio_pvoc_do(pvoc_, in_, spectrum_);
    aubio_filterbank_do(mel_, spectrum_, bands_);
    for (int k = 0; k < AudioAnalysis::BANDS; ++k) out_.bands.push_back(std::log(bands_->data[k] + 1e-6f));
    if (beat_->data[0] != 0) out_.beats.push_back(aubio_tempo_get_last_s(tempo_));
    if (hit_->data[0] != 0) out_.onsets.push_back(aubio_onset_get_last_s(onset_));
    const float db = static_cast<float>(10 * std::log10(std::max(power / HOP, 1e-12)));
    const double low_db = 10 * std::log10(std::max(low_power / HOP, 1e-12));
    out_.loudness.push_back(db);
    out_.flux.push_back(std::max(0.f, aubio_onset_get_descriptor(onset_)));
    out_.low_flux.push_back(static_cast<float>(std::max(0.0, low_db - previous_low_db_)));
    previous_low_db_ = low_db;
    ++frames_;
  }

  // Energy below about 150 Hz: a one-pole low-pass, its level per frame in dB.
  static inline const double LOW_PASS = 1 - std::exp(-2 * M_PI * 150.0 / RATE);

  aubio_tempo_t* tempo_ = nullptr;
  aubio_onset_t* onset_ = nullptr;
  fvec_t *in_ = nullptr, *beat_ = nullptr, *hit_ = nullptr, *bands_ = nullptr;
  aubio_pvoc_t* pvoc_ = nullptr;
  cvec_t* spectrum_ = nullptr;
  aubio_filterbank_t* mel_ = nullptr;
  float block_[HOP] = {};
  size_t filled_ = 0;
  uint64_t frames_ = 0;
  double low_ = 0, previous_low_db_ = -120;
  AudioAnalysis out_;
};

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
  Listener listener;
  if (!listener.ready()) {
    why = "cannot start the beat tracker";
    return false;
  }
  std::vector<unsigned char> bytes(HOP * 4 * 16);
  uint64_t reported = 0;
  int ended = MPG123_DONE;
  for (;;) {
    size_t done = 0;
    const int r = mpg123_read(mh.get(), bytes.data(), bytes.size(), &done);
    listener.feed(reinterpret_cast<const float*>(bytes.data()), done / 4);
    if (progress && listener.samples() - reported >= HOP * 2048) {
      reported = listener.samples();
      if (!progress(total > 0 ? static_cast<double>(reported) / total : 0)) return false;
    }
    if (r == MPG123_DONE || (r != MPG123_OK && r != MPG123_NEW_FORMAT)) {
      ended = r;
      break;
    }
  }
  out = listener.finish();
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
  if (out.duration * RATE < HOP) {
    why = "the MP3 holds no audio";
    return false;
  }
  return true;
}

bool analyse_song(const std::string& path, double seconds, AudioAnalysis& out, std::string& why,
                  const std::function<bool(double)>& progress) {
  ChildOutput decoder;
  if (!decoder.start({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0", "-vn", "-ac", "1", "-ar",
                      std::to_string(RATE), "-f", "f32le", "-"})) {
    why = "cannot run ffmpeg (is it installed?)";
    return false;
  }
  Listener listener;
  if (!listener.ready()) {
    why = "cannot start the beat tracker";
    return false;
  }
  std::vector<float> samples(HOP * 16);
  size_t carried = 0;  // bytes of a sample cut by the pipe
  uint64_t reported = 0;
  for (;;) {
    const size_t got = decoder.read(reinterpret_cast<char*>(samples.data()) + carried, samples.size() * 4 - carried);
    if (got == 0) {
      if (decoder.done() || interrupted()) break;
      continue;
    }
    const size_t bytes = carried + got;
    listener.feed(samples.data(), bytes / 4);
    carried = bytes % 4;
    if (carried) std::memmove(samples.data(), reinterpret_cast<char*>(samples.data()) + bytes - carried, carried);
    if (progress && listener.samples() - reported >= HOP * 2048) {
      reported = listener.samples();
      if (!progress(seconds > 0 ? reported / (seconds * RATE) : 0)) return false;
    }
  }
  if (interrupted()) return false;
  const int code = decoder.finish();
  if (code != 0) {
    std::string e = decoder.errors();
    while (!e.empty() && (e.back() == '\n' || e.back() == '\r')) e.pop_back();
    why = "cannot be decoded: " + (e.empty() ? std::string("ffmpeg failed") : e.substr(e.rfind('\n') + 1));
    return false;
  }
  if (listener.samples() < HOP) {
    why = "holds no audio";
    return false;
  }
  out = listener.finish();
  return true;
}
