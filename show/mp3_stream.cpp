// libmpg123 reads the file through our descriptor; only the frames asked for are decoded, so opening costs the
// first frame and not the whole file.
#include "show/mp3_stream.h"

#include <mpg123.h>
#include <stdio.h>  // SEEK_SET

namespace {

constexpr int CHANNELS = 2;
constexpr size_t FRAME_BYTES = CHANNELS * sizeof(int16_t);

}  // namespace

Mp3Stream::~Mp3Stream() {
  if (handle_) {
    mpg123_close(handle_);
    mpg123_delete(handle_);
  }
}

bool Mp3Stream::open(const char* path, long rate) {
  mpg123_init();  // a no-op in current libraries, needed by older ones
  int err = MPG123_OK;
  handle_ = mpg123_new(nullptr, &err);
  if (!handle_) return false;  // no decoder available
  // The show writes no log; the default flags (gapless playback among them) stay.
  mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO, 0);
  // One output format whatever the file holds: mpg123 resamples and turns mono into stereo.
  mpg123_format_none(handle_);
  if (mpg123_format(handle_, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK) return false;
  file_ = std::make_unique<RegularFile>(path);
  if (!file_->is_open()) return false;  // missing, unreadable, or no regular file
  if (mpg123_open_fd(handle_, file_->fd()) != MPG123_OK) return false;

  long got_rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(handle_, &got_rate, &channels, &encoding) != MPG123_OK) return false;  // no frame found
  if (got_rate != rate || channels != CHANNELS || encoding != MPG123_ENC_SIGNED_16) return false;

  const off_t samples = mpg123_length(handle_);  // from the header or the file size, never a scan
  if (samples > 0) length_seconds_ = double(samples) / double(rate);
  return true;
}

size_t Mp3Stream::read(int16_t* out, size_t frames) {
  auto* bytes = reinterpret_cast<unsigned char*>(out);
  const size_t want = frames * FRAME_BYTES;
  size_t have = 0;
  while (!done_ && have < want) {
    size_t done = 0;
    const int r = mpg123_read(handle_, bytes + have, want - have, &done);
    have += done;
    if (r == MPG123_OK || r == MPG123_NEW_FORMAT) {
      if (done == 0 && r == MPG123_OK) done_ = true;  // no progress: treat as the end
      continue;
    }
    done_ = true;  // MPG123_DONE, or an error: either way the music is over
  }
  return have / FRAME_BYTES;
}

bool Mp3Stream::seek(long long frame) {
  if (!handle_ || frame < 0) return false;
  // mpg123 counts in output samples (after resampling) and decodes from an earlier frame where
  // the bit reservoir needs it, so the samples after a seek are those a straight read gives.
  const off_t at = mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET);
  if (at < 0) {
    done_ = true;  // past the end, or a seek the file does not allow: nothing more to read
    return false;
  }
  done_ = false;
  return true;
}
