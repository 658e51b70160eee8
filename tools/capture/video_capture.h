#pragma once
// The whole show, or a part of it, as a video: every frame drawn, read back while the next is drawn,
// converted to I420 on a thread of its own and written to the encoder (or a YUV4MPEG2 file).
class OffscreenGl;
struct CaptureOptions;

// The exit status: 0 when the video was written under its name, 1 when not (and nothing is left
// under that name). `music_seconds` is the music's length (0: none); `interrupted` is asked between
// frames.
int capture_video(const CaptureOptions& options, OffscreenGl& gl, double music_seconds, bool (*interrupted)());
