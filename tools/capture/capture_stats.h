#pragma once
// Where a capture's time goes, for --stats: the drawing thread's wall-clock time in the stages of
// each frame, and the processor time of every thread (the drawing thread, llvmpipe's rasterisers,
// the conversion, the others) and of the encoder's process.
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <vector>

// Processor time of this process's threads by what they do, from /proc/self/task; what threads
// that have ended used counts as other.
struct ThreadTimes {
  double drawing = 0;     // the main thread: tracks, drawing calls, read-back, photo uploads
  double rasteriser = 0;  // Mesa's llvmpipe threads
  double conversion = 0;  // the thread that converts frames and writes them to the encoder
  double other = 0;       // photo decoders, the sound's thread, threads that have ended
  int rasteriser_threads = 0;
};
ThreadTimes thread_times();

// The name the capture gives its conversion thread, so that thread_times can tell it apart.
inline constexpr const char* CONVERSION_THREAD_NAME = "capture-convert";

class CaptureStats {
 public:
  // The stages of a frame in the order the drawing thread meets them.
  explicit CaptureStats(std::vector<std::string> stage_names);
  // The frame starts: the stage clock starts.
  void start_frame();
  // The time since the last mark (or start_frame) goes to stage `index`.
  void mark(size_t index);
  void end_frame() { ++frames_; }

  // The report: frames, wall time and its ratio to the show's `show_seconds`, the stages per frame,
  // the threads' processor time per frame and the encoder's (`encoder`, from its rusage).
  // Thread times count from the first frame on. `extra` is added as it is, a line or more.
  std::string report(double show_seconds, const rusage* encoder, const std::string& extra = "") const;

 private:
  using Clock = std::chrono::steady_clock;
  std::vector<std::string> names_;
  std::vector<double> seconds_;
  Clock::time_point started_, last_;
  ThreadTimes before_;  // at the first frame
  bool running_ = false;
  long frames_ = 0;
};
