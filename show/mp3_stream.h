#pragma once
// An MP3 file decoded a piece at a time (libmpg123), always as 16-bit stereo at one fixed rate.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "png/regular_file.h"

struct mpg123_handle_struct;

class Mp3Stream {
 public:
  Mp3Stream() = default;
  Mp3Stream(const Mp3Stream&) = delete;
  Mp3Stream& operator=(const Mp3Stream&) = delete;
  ~Mp3Stream();

  // Opens `path` and reads up to its first frame, resampling to `rate` where the file's own
  // rate differs. False when the file is missing, is no regular file (a FIFO or a device would
  // hold the open or the reads for ever) or no MPEG audio frame can be found in it.
  bool open(const char* path, long rate);
  // Decodes up to `frames` stereo frames into `out`; fewer only at the end of the music or
  // on a decoding error, after which it keeps returning 0.
  size_t read(int16_t* out, size_t frames);
  // Moves to stereo frame `frame` of the output (the rate asked for at open), sample-exact: the
  // next read starts there, even after the end was reached. A frame beyond the end leaves the
  // stream at its end. False when the stream is not open or cannot seek.
  bool seek(long long frame);
  // The length the file announces (or its size suggests), in seconds; 0 when unknown.
  double length_seconds() const { return length_seconds_; }

 private:
  std::unique_ptr<RegularFile> file_;  // mpg123 reads through its descriptor
  mpg123_handle_struct* handle_ = nullptr;
  bool done_ = false;
  double length_seconds_ = 0.0;
};
