#include "tools/capture/video_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// ffmpeg reads an argument that starts with "-" as an option and one with a "name:" prefix as a
// protocol; with the file protocol named, every path is a file of that name.
std::string ffmpeg_file(const std::string& path) { return "file:" + path; }

bool write_all(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n, size -= size_t(n);
  }
  return true;
}

}  // namespace

bool is_y4m_path(const std::string& path) { return path.size() > 4 && path.ends_with(".y4m"); }

std::vector<std::string> encoder_command(const VideoFormat& format, const EncoderSettings& encoder,
                                         const std::string& music, double music_from_seconds,
                                         const std::string& path) {
  char size[32], from[64];
  std::snprintf(size, sizeof size, "%dx%d", format.width, format.height);
  std::snprintf(from, sizeof from, "%.6f", music_from_seconds);
  return {"ffmpeg", "-nostdin", "-y", "-loglevel", "error",
          // The frames: I420 as the capture converts them, so that ffmpeg converts nothing.
          "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", size, "-r", std::to_string(format.fps), "-i", "pipe:0",
          "-ss", from, "-i", ffmpeg_file(music), "-map", "0:v:0", "-map", "1:a:0",
          "-c:v", "libx264", "-preset", encoder.preset, "-crf", std::to_string(encoder.crf),
          // High whatever the preset: the fastest presets would otherwise leave the 8 × 8
          // transform out and write Baseline, which looks worse at the same size.
          "-profile:v", "high", "-x264-params", "8x8dct=1", "-pix_fmt", "yuv420p",
          // What the frames are, so that players show the colours they hold.
          "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv",
          "-chroma_sample_location", "center",
          "-c:a", "aac", "-shortest", "-movflags", "+faststart", "-f", "mp4", ffmpeg_file(path)};
}

std::string y4m_header(const VideoFormat& format) {
  char header[160];
  std::snprintf(header, sizeof header, "YUV4MPEG2 W%d H%d F%d:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n", format.width,
                format.height, format.fps);
  return header;
}

VideoOutput::~VideoOutput() { finish(); }

bool VideoOutput::open(const std::string& path, const VideoFormat& format, const EncoderSettings& encoder,
                       const std::string& music, double music_from_seconds, std::string& error) {
  finish();
  failed_ = false;
  if (is_y4m_path(path)) {
    file_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file_ < 0) {
      error = "cannot write " + path + ": " + std::strerror(errno);
      return false;
    }
    const std::string header = y4m_header(format);
    if (!write_all(file_, header.data(), header.size())) {
      error = "cannot write " + path + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }
  if (!encoder_.start(encoder_command(format, encoder, music, music_from_seconds, path))) {
    error = "cannot start ffmpeg";
    return false;
  }
  encoded_ = true;
  return true;
}

bool VideoOutput::write(const uint8_t* yuv, size_t bytes) {
  if (failed_) return false;
  if (file_ >= 0) {
    static const char FRAME[] = "FRAME\n";
    failed_ = !write_all(file_, FRAME, sizeof FRAME - 1) || !write_all(file_, yuv, bytes);
  } else {
    failed_ = !encoded_ || !encoder_.write(yuv, bytes);
  }
  return !failed_;
}

int VideoOutput::finish() {
  if (file_ >= 0) {
    const bool closed = ::close(file_) == 0;
    file_ = -1;
    return failed_ || !closed ? -1 : 0;
  }
  if (!encoded_) return failed_ ? -1 : 0;
  const int status = encoder_.finish();
  return failed_ && status == 0 ? -1 : status;
}
