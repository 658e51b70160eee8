#pragma once
// Where the frames of a video go: an MP4 encoded by ffmpeg (H.264 High, 4:2:0, with the music as
// AAC, its index at the front so that it plays while it downloads), or a YUV4MPEG2 file of the
// very frames, for other encoders and for comparing.
#include <sys/resource.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/process/child_process.h"

struct VideoFormat {
  int width = 1920, height = 1080, fps = 60;
};

// x264's speed preset and constant rate factor (lower is better and larger).
struct EncoderSettings {
  std::string preset;
  int crf = 0;
};

// Whether `path` names a YUV4MPEG2 file (it ends in ".y4m") rather than an MP4.
bool is_y4m_path(const std::string& path);

// The ffmpeg command that reads I420 frames from its standard input and writes them with the music
// from `music_from_seconds` on into `path`. Every name is passed as it is, never as an option.
std::vector<std::string> encoder_command(const VideoFormat& format, const EncoderSettings& encoder,
                                         const std::string& music, double music_from_seconds,
                                         const std::string& path);

// The stream header of a YUV4MPEG2 file of I420 frames in this format.
std::string y4m_header(const VideoFormat& format);

class VideoOutput {
 public:
  VideoOutput() = default;
  VideoOutput(const VideoOutput&) = delete;
  VideoOutput& operator=(const VideoOutput&) = delete;
  ~VideoOutput();

  // Starts writing into `path` (a YUV4MPEG2 file when it ends in ".y4m", else through ffmpeg with
  // the music). False, with `error`, when it cannot.
  bool open(const std::string& path, const VideoFormat& format, const EncoderSettings& encoder,
            const std::string& music, double music_from_seconds, std::string& error);
  // One I420 frame. False once nothing more can be written.
  bool write(const uint8_t* yuv, size_t bytes);
  // Ends the output: 0 when all was written, else the encoder's exit status (or -1).
  int finish();
  // The encoder's processor time and memory, after finish; none for a YUV4MPEG2 file.
  const rusage* encoder_usage() const { return encoded_ ? &encoder_.usage() : nullptr; }

 private:
  ChildInput encoder_;
  bool encoded_ = false;
  int file_ = -1;  // the YUV4MPEG2 file
  bool failed_ = false;
};
