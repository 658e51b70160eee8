#pragma once
// A trace of the open photos' streaming, written only when HALLSHOW_TRACE names a file: one
// counter event a frame (held memory, photos resident, misses so far) and one span for the frame's
// upload work, in the Trace Event Format that Perfetto and chrome://tracing read. It is how the
// show is measured in real time without giving it an argument or a setting: unset, nothing is
// written and nothing is timed.
#include <cstdio>

#include "photos/open_photo_stream.h"

class OpenPhotoTrace {
 public:
  // Opens the file HALLSHOW_TRACE names, if any; otherwise every call does nothing.
  OpenPhotoTrace();
  ~OpenPhotoTrace();
  OpenPhotoTrace(const OpenPhotoTrace&) = delete;
  OpenPhotoTrace& operator=(const OpenPhotoTrace&) = delete;

  bool on() const { return file_ != nullptr; }
  // After the stream's work for the frame at `row`.
  void frame(double row, const OpenPhotoCounters& counters);
  // Completes the file (the show ends with _exit, which flushes nothing).
  void finish();

 private:
  std::FILE* file_ = nullptr;
  long start_us_ = 0;
};
