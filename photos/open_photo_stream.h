#pragma once
// Open photos streamed by a known future: the plan says at which rows each entry can be seen, so
// each is decoded on a worker ahead of its first row, uploaded in slices before it, and released
// after its last, all under one memory budget. The frame that draws never waits for a decode: a
// photo that is not ready is drawn as a missing photo is, and counted.
//
// Choosing what to hold is the textbook case of caching with a known future: when the budget is
// full, what is needed furthest in the future goes first (Belady's MIN), and a fetch never evicts
// anything needed before the photo it fetches (so prefetching does no harm). Nothing drawn in the
// last two frames is evicted or overwritten, since the driver may still be drawing a queued frame
// from it.
//
// Threads: everything but the decoding runs on the GL thread. Workers only decode files into
// memory; they touch no GL and no state of the stream but the job queue and the results.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "photos/open_entries.h"
#include "photos/open_photo_decode.h"
#include "photos/open_photo_header.h"
#include "photos/open_photo_plan.h"

// Decoded open photos, on the GPU or waiting for it, and the decodes under way, take at most this
// much memory. At 1080p a 4:3 photo at the largest scale a show commonly gives (1.8) is 7.3 MB with
// its mipmaps, so the budget holds about 30 such photos: several seconds of a fast show. At 4K it
// holds eight. A frame that needs more than the budget holds is not drawn short: the budget gives.
inline constexpr uint64_t OPEN_PHOTO_BUDGET_BYTES = uint64_t(224) << 20;

struct OpenPhotoSettings {
  uint32_t screen_height = 1080;      // of the picture: the textures are sized for it
  uint32_t max_texture_size = 4096;   // GL_MAX_TEXTURE_SIZE
  uint64_t budget_bytes = OPEN_PHOTO_BUDGET_BYTES;
  int32_t horizon_rows = 100;         // how far ahead photos are fetched: 5 s
  uint64_t upload_bytes_per_frame = uint64_t(4) << 20;  // llvmpipe copies that in about 0.5 ms
  int workers = 0;                    // decoding threads; 0: one per core less one, one to four
  // The decode the workers run (tests put a slow or stuck one in its place).
  std::function<OpenPhotoImage(const std::string& path, uint32_t long_side)> decode = decode_open_photo;
};

// What a layer draws for an open entry.
struct OpenPhotoView {
  bool ready = false;     // false: draw it as a missing photo (untextured, in the layer's colour)
  uint32_t texture = 0;   // the texture to bind; a name without an image when not ready
  float half_width = 1, half_height = 1;  // the quad's half extents: 1 on the photo's long side
};

struct OpenPhotoCounters {
  uint64_t frames = 0;
  uint64_t frames_with_miss = 0;  // frames that drew a planned photo that was not ready
  uint64_t misses = 0;            // such draws (a frame may have two)
  uint64_t unreadable_draws = 0;  // draws of an entry whose file does not decode
  uint64_t unplanned_draws = 0;   // draws of an entry at a row the plan says it cannot be seen (black or hidden)
  uint64_t decodes = 0, uploads = 0, evictions = 0;
  uint64_t held_bytes = 0;        // now: textures, decoded photos waiting, decodes reserved
  uint64_t peak_held_bytes = 0;
  uint64_t resident = 0;          // photos drawable now
  uint64_t last_upload_bytes = 0; // uploaded by the last before_frame
  double last_upload_ms = 0;      // its time on the GL thread
};

class OpenPhotoStream {
 public:
  // `headers` and `entries` side by side; `plan` from the same entries. GL thread, context current.
  OpenPhotoStream(std::vector<OpenEntry> entries, std::vector<OpenPhotoHeader> headers, const OpenPhotoPlan& plan,
                  OpenPhotoSettings settings);
  ~OpenPhotoStream();  // joins the workers and deletes the textures (GL thread, context current)
  OpenPhotoStream(const OpenPhotoStream&) = delete;
  OpenPhotoStream& operator=(const OpenPhotoStream&) = delete;

  // Before the frame at `row` draws: takes finished decodes, releases what is no longer needed,
  // starts decodes for what the next horizon shows, uploads within the frame's share. Never waits.
  void before_frame(double row);
  // Before the frame at `row` draws, as before_frame, then waits until every photo the plan shows
  // at that row is drawable (or known unreadable): for captures, which may wait but never draw a
  // frame short. At most `wait_ms` when it is not negative.
  void make_ready(double row, int wait_ms = -1);
  // Every photo first seen before `to_row` decoded and uploaded before returning (as many as the
  // budget holds, in order of use): the start-up's share, behind the loading screen.
  void preload(int32_t to_row);
  // The plan changed (an authoring tool saved its tracks): photos keep their textures where their
  // size stays, queued decodes for photos no longer needed are dropped.
  void replan(const OpenPhotoPlan& plan);

  // For a layer at this frame: nullptr when `number` is no open entry (not one the folder holds).
  const OpenPhotoView* view(uint32_t number);
  const OpenPhotoCounters& counters() const { return counters_; }
  const OpenPhotoSettings& settings() const { return settings_; }
  // A texture name that never holds an image: bound, it draws a quad untextured, in its colour.
  uint32_t blank_texture() const { return blank_texture_; }
  size_t entries() const;

 private:
  enum class State { Idle, Queued, Decoding, Decoded, Uploading, Resident, Unreadable };
  struct Slot;
  struct Job {
    size_t slot;
    int32_t next_use;
    uint32_t long_side;
  };
  struct Done {
    size_t slot;
    uint32_t long_side;  // a photo planned anew meanwhile is dropped
    OpenPhotoImage image;
  };
  struct SpanRef {
    RowSpan rows;
    size_t slot;
  };
  struct FreeTexture {
    uint32_t name;
    PixelSize size;
    uint64_t bytes;
  };

  void set_plan(const OpenPhotoPlan& plan);
  void work();
  void begin_frame(double row, bool forced_now);  // the frame's bookkeeping, releases and fetches
  int32_t next_use(const Slot& slot, int32_t row) const;  // INT32_MAX: none
  void collect_decoded();
  void release_finished(int32_t row);
  void fetch(int32_t row, bool forced_now);
  bool make_room(uint64_t bytes, int32_t needed_at, int32_t row);
  void queue(size_t slot, int32_t next_use);
  void upload(uint64_t byte_budget);
  bool upload_slot(Slot& slot, uint64_t& byte_budget);
  uint64_t decode_room(const Slot& slot) const;
  void release(Slot& slot);
  uint32_t texture_for(PixelSize size);
  void drop_free_texture(size_t index);
  bool recently_drawn(const Slot& slot) const;
  void hold(int64_t bytes);

  OpenPhotoSettings settings_;
  std::vector<Slot> slots_;             // by increasing number
  std::vector<SpanRef> spans_;          // every span, by first row
  std::vector<int32_t> spans_reach_;    // the largest last row among spans_[0..i]
  std::vector<std::pair<int32_t, size_t>> wanted_;  // (next use, slot), this frame
  std::vector<size_t> waiting_upload_;  // slots Decoded or Uploading
  std::vector<FreeTexture> free_textures_;
  uint32_t blank_texture_ = 0;          // a name that never holds an image: a missing photo
  OpenPhotoView view_;
  OpenPhotoCounters counters_;
  uint64_t frame_ = 0;
  uint64_t fetch_round_ = 0;            // marks the slots the current fetch has seen
  bool frame_missed_ = false;
  int32_t last_row_ = 0;

  std::mutex mutex_;                    // guards what follows
  std::condition_variable work_ready_, work_done_;
  std::deque<Job> jobs_;                // by next use
  std::vector<Done> done_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};
