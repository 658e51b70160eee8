#pragma once
// The load sequence apart from what it calls: which photo loads when, through which loader, and
// which loading frame comes before it. The collaborators (loading frames, each loader's decode and
// upload) sit behind LoadSteps so that tests can record the order and the benchmark can time it.
//
// Pipelined, worker threads decode the photos in load order a few ahead of the GL thread, which
// shows the frames and uploads in exactly the sequential order: what reaches the screen and the
// textures is the same as when everything runs on one thread.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "photos/texture_loaders.h"

enum class LoaderKind {
  FileTexture,  // load_file_texture: the PNG entries
  Picture,      // the picture loader: the JPEG and GIF entries
};

struct LoadJob {
  LoaderKind loader;
  uint32_t index;               // catalogue index, and the texture name
  const char* frame_before;     // loading frame shown first, or nullptr
};

// The 38 loads in order: the first "y" frame, the 27 file-texture loads, the eleven picture loads
// with their frames.
std::vector<LoadJob> load_jobs();

class LoadSteps {
 public:
  virtual ~LoadSteps() = default;
  virtual void show_frame(const char* text) = 0;                             // GL thread
  virtual TextureImage decode(const LoadJob& job) = 0;                       // any thread, no GL
  virtual void upload(const LoadJob& job, const TextureImage& image) = 0;    // GL thread
  // At least the bytes of decode's result, before decoding; 0 when unknown. Any thread, no GL.
  virtual size_t decoded_bytes(const LoadJob&) { return 0; }
  // At least the most memory decode holds at once, its result included: what the budget reserves
  // while it runs. Any thread, no GL.
  virtual size_t decode_peak_bytes(const LoadJob& job) { return decoded_bytes(job); }
  // The GL thread is done with an uploaded image: its memory may serve a later decode. GL thread.
  virtual void recycle(TextureImage&&) {}
  // Whether the job's decode is known to take far longer than the others' (a GIF through the
  // codecs takes ten times a JPEG's time a pixel): such jobs are decoded first, so that none of
  // them is left to run alone at the end. Any thread, no GL.
  virtual bool slow_decode(const LoadJob&) { return false; }
};

// Decoded photos waiting for their upload, and the decodes under way (each counted at its peak),
// take at most this much memory (or the one photo that is larger), however many cores decode: a
// picture on the picture path is 64 MiB at S = 4096.
inline constexpr size_t DECODE_BUDGET_BYTES = size_t(512) << 20;

struct LoadOptions {
  bool pipelined = true;
  int workers = 0;  // decoding threads; 0: one per core, at least two, at most DecodeAhead::MAX_WORKERS
  int ahead = 0;    // photos decoded or decoding beyond the one being uploaded; 0: workers + 2
  size_t budget_bytes = 0;  // for photos decoded and not yet uploaded; 0: DECODE_BUDGET_BYTES
};

int default_decode_workers();

// Runs `jobs` on the calling thread (the GL thread): each job's frame, then its upload, in order.
// Decode failures (including exceptions from a decoder) give an empty image and the sequence goes on.
void run_load_sequence(LoadSteps& steps, const std::vector<LoadJob>& jobs, const LoadOptions& options = {});

// The show's collaborators: loading frames, presented through `present`, and the texture loaders of
// the catalogue's paths.
//
// Every picture-path image is an S × S square, 64 MiB at S = 4096, and a file texture is as large
// as its photo: mapping that much fresh memory for each one, zeroing it page by page and unmapping
// it after the upload costs about as much as the drawing itself (half of a PNG's decode), and two
// decoders doing it at once contend in the kernel. So the pixels of uploaded images are kept (at
// most SPARE_BUFFERS of them) for the next decodes that fit into them.
class TextureLoadSteps : public LoadSteps {
 public:
  TextureLoadSteps(int square_side, void (*present)())  // S of the picture path
      : square_side_(square_side), present_(present) {}
  void show_frame(const char* text) override;
  TextureImage decode(const LoadJob& job) override;
  void upload(const LoadJob& job, const TextureImage& image) override;
  size_t decoded_bytes(const LoadJob& job) override;
  size_t decode_peak_bytes(const LoadJob& job) override;
  void recycle(TextureImage&& image) override;
  bool slow_decode(const LoadJob& job) override;

  static constexpr size_t SPARE_BUFFERS = 2;

 private:
  // The smallest spare buffer that holds `bytes`, taken from the spares; an empty one when none does.
  std::vector<uint8_t> take_spare(size_t bytes);

  int square_side_;
  void (*present_)();
  std::mutex spare_mutex_;
  std::vector<std::vector<uint8_t>> spares_;
};
