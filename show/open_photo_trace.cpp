#include "show/open_photo_trace.h"

#include <chrono>
#include <cstdlib>

namespace {

long now_us() {
  return long(std::chrono::duration_cast<std::chrono::microseconds>(
                  std::chrono::steady_clock::now().time_since_epoch()).count());
}

}  // namespace

OpenPhotoTrace::OpenPhotoTrace() {
  const char* path = std::getenv("HALLSHOW_TRACE");
  if (!path || !*path) return;
  file_ = std::fopen(path, "w");
  if (!file_) return;
  start_us_ = now_us();
  std::fputs("{\"traceEvents\":[\n{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":1,\"args\":{\"name\":\"hallshow\"}}", file_);
}

OpenPhotoTrace::~OpenPhotoTrace() { finish(); }

void OpenPhotoTrace::frame(double row, const OpenPhotoCounters& c) {
  if (!file_) return;
  const long end = now_us() - start_us_;
  const long upload_us = long(c.last_upload_ms * 1000.0);
  std::fprintf(file_,
               ",\n{\"name\":\"upload\",\"ph\":\"X\",\"pid\":1,\"tid\":1,\"ts\":%ld,\"dur\":%ld,"
               "\"args\":{\"row\":%.3f,\"bytes\":%llu}}",
               end - upload_us, upload_us, row, (unsigned long long)c.last_upload_bytes);
  std::fprintf(file_,
               ",\n{\"name\":\"open photos\",\"ph\":\"C\",\"pid\":1,\"ts\":%ld,\"args\":{\"held MB\":%.1f,"
               "\"resident\":%llu,\"misses\":%llu,\"frames with a miss\":%llu}}",
               end, double(c.held_bytes) / 1e6, (unsigned long long)c.resident, (unsigned long long)c.misses,
               (unsigned long long)c.frames_with_miss);
}

void OpenPhotoTrace::finish() {
  if (!file_) return;
  std::fputs("\n]}\n", file_);
  std::fclose(file_);
  file_ = nullptr;
}
