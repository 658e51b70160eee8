#include "photos/open_photo_stream.h"

#include <GL/gl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "photos/mip_chain.h"
#include "photos/packed_unpacking.h"
#include "photos/photo_catalogue.h"

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif
#ifndef GL_TEXTURE_MAX_LEVEL
#define GL_TEXTURE_MAX_LEVEL 0x813D
#endif

namespace {

constexpr int32_t NEVER = std::numeric_limits<int32_t>::max();
// Freed textures kept for photos of the same size: refilling one costs half of making a new one.
constexpr size_t FREE_TEXTURES_KEPT = 4;

int32_t whole_row(double row) {
  if (!(row >= 0)) return 0;
  return row >= double(NEVER) ? NEVER - 1 : int32_t(row);
}

int default_workers() {
  const int cores = int(std::thread::hardware_concurrency());
  return std::clamp(cores - 1, 1, 4);
}

// The texture's name and every level's storage, without pixels yet.
uint32_t make_texture(PixelSize size) {
  uint32_t name = 0;
  // Names below the catalogue's count are bound directly by track values; one of those must
  // never show an open photo.
  do glGenTextures(1, &name);
  while (name != 0 && name < PHOTO_COUNT);
  glBindTexture(GL_TEXTURE_2D, name);
  uint32_t levels = 0;
  for (PixelSize s = size;; ++levels) {
    s = mip_level_size(size, levels);
    glTexImage2D(GL_TEXTURE_2D, GLint(levels), GL_RGBA8, GLsizei(s.width), GLsizei(s.height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    if (s.width == 1 && s.height == 1) break;
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  // Exact-size textures with clamped edges: GL_CLAMP would blend the border colour in.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  return name;
}

}  // namespace

struct OpenPhotoStream::Slot {
  OpenEntry entry;
  OpenPhotoHeader header;
  std::vector<RowSpan> spans;  // empty: the plan never shows it
  uint32_t long_side = 0;
  PixelSize size;              // of the texture
  uint64_t texture_bytes = 0;
  uint64_t held = 0;           // counted against the budget now
  State state = State::Idle;
  OpenPhotoImage image;        // Decoded and Uploading
  uint32_t texture = 0;        // Uploading and Resident
  uint32_t upload_level = 0, upload_row = 0;
  uint64_t drawn_frame = 0;    // the last frame that drew it, 0 for none
  uint64_t wanted_round = 0;   // the last fetch whose horizon held it
  int32_t wanted_at = NEVER;   // its next use as of that frame
  float half_width = 1, half_height = 1;
};

OpenPhotoStream::OpenPhotoStream(std::vector<OpenEntry> entries, std::vector<OpenPhotoHeader> headers,
                                 const OpenPhotoPlan& plan, OpenPhotoSettings settings)
    : settings_(settings) {
  slots_.resize(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    Slot& slot = slots_[i];
    slot.entry = std::move(entries[i]);
    slot.header = i < headers.size() ? headers[i] : OpenPhotoHeader{};
    if (!slot.header.usable()) {
      slot.state = State::Unreadable;
    } else {
      const float longest = float(std::max(slot.header.width(), slot.header.height()));
      slot.half_width = float(slot.header.width()) / longest;
      slot.half_height = float(slot.header.height()) / longest;
    }
  }
  set_plan(plan);
  wanted_.reserve(slots_.size());
  do glGenTextures(1, &blank_texture_);
  while (blank_texture_ != 0 && blank_texture_ < PHOTO_COUNT);
  const int workers = settings_.workers > 0 ? settings_.workers : default_workers();
  for (int i = 0; i < workers; ++i) {
    try {
      threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      break;  // fewer workers; with none, make_ready decodes nothing and frames draw misses
    }
  }
}

OpenPhotoStream::~OpenPhotoStream() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  work_ready_.notify_all();
  for (std::thread& t : threads_) t.join();
  for (Slot& slot : slots_)
    if (slot.texture) glDeleteTextures(1, &slot.texture);
  for (const FreeTexture& t : free_textures_) glDeleteTextures(1, &t.name);
  glDeleteTextures(1, &blank_texture_);
}

void OpenPhotoStream::set_plan(const OpenPhotoPlan& plan) {
  spans_.clear();
  for (Slot& slot : slots_) slot.spans.clear();
  size_t s = 0;
  for (const OpenPhotoUse& use : plan.uses) {
    while (s < slots_.size() && slots_[s].entry.number < use.number) ++s;
    if (s == slots_.size()) break;
    Slot& slot = slots_[s];
    if (slot.entry.number != use.number || slot.state == State::Unreadable || use.spans.empty()) continue;
    slot.spans = use.spans;
    const uint32_t long_side =
        open_photo_long_side(settings_.screen_height, use.largest_scale_factor, settings_.max_texture_size);
    if (long_side != slot.long_side) {
      // A new size: what is held at the old one goes (a decode under way is dropped when it ends).
      release(slot);
      slot.long_side = long_side;
      slot.size = open_photo_decoded_size(slot.header, long_side);
      slot.texture_bytes = mipmapped_bytes(slot.size);
    }
    for (const RowSpan& rows : use.spans) spans_.push_back({rows, s});
  }
  std::sort(spans_.begin(), spans_.end(), [](const SpanRef& a, const SpanRef& b) { return a.rows.first < b.rows.first; });
  spans_reach_.resize(spans_.size());
  int32_t reach = std::numeric_limits<int32_t>::min();
  for (size_t i = 0; i < spans_.size(); ++i) spans_reach_[i] = reach = std::max(reach, spans_[i].rows.last);
}

void OpenPhotoStream::replan(const OpenPhotoPlan& plan) {
  set_plan(plan);
  for (Slot& slot : slots_)
    if (slot.spans.empty() && slot.state != State::Queued && slot.state != State::Unreadable && !recently_drawn(slot))
      release(slot);
}

// ---- workers ----

void OpenPhotoStream::work() {
#ifdef __linux__
  // Decoding yields to the thread that draws: a late photo is counted, a late frame is seen.
  setpriority(PRIO_PROCESS, pid_t(gettid()), 5);
#endif
  std::unique_lock lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
    if (stopping_) return;
    const Job job = jobs_.front();
    jobs_.pop_front();
    const std::string path = slots_[job.slot].entry.path;  // entries never change after construction
    lock.unlock();
    OpenPhotoImage image;
    try {
      image = settings_.decode(path, job.long_side);
    } catch (const std::bad_alloc&) {
      image = {};  // counted as unreadable: the show goes on
    }
    lock.lock();
    done_.push_back({job.slot, job.long_side, std::move(image)});
    work_done_.notify_all();
  }
}

// ---- the GL thread ----

int32_t OpenPhotoStream::next_use(const Slot& slot, int32_t row) const {
  const auto at = std::lower_bound(slot.spans.begin(), slot.spans.end(), row,
                                   [](const RowSpan& s, int32_t r) { return s.last < r; });
  return at == slot.spans.end() ? NEVER : std::max(at->first, row);
}

bool OpenPhotoStream::recently_drawn(const Slot& slot) const {
  return slot.drawn_frame != 0 && frame_ - slot.drawn_frame < 2;
}

void OpenPhotoStream::hold(int64_t bytes) {
  counters_.held_bytes = uint64_t(int64_t(counters_.held_bytes) + bytes);
  counters_.peak_held_bytes = std::max(counters_.peak_held_bytes, counters_.held_bytes);
}

void OpenPhotoStream::collect_decoded() {
  std::vector<Done> done;
  {
    std::lock_guard lock(mutex_);
    done.swap(done_);
  }
  for (Done& d : done) {
    Slot& slot = slots_[d.slot];
    ++counters_.decodes;
    if (d.long_side != slot.long_side || slot.state != State::Queued) {  // planned anew meanwhile
      hold(-int64_t(slot.held));
      slot.held = 0;
      if (slot.state == State::Queued) slot.state = State::Idle;
      continue;
    }
    if (d.image.empty() || d.image.size != slot.size) {
      hold(-int64_t(slot.held));
      slot.held = 0;
      slot.state = State::Unreadable;
      continue;
    }
    slot.image = std::move(d.image);
    slot.state = State::Decoded;
    waiting_upload_.push_back(d.slot);
  }
}

void OpenPhotoStream::release(Slot& slot) {
  if (slot.state == State::Queued) {
    std::lock_guard lock(mutex_);
    const auto job = std::find_if(jobs_.begin(), jobs_.end(), [&](const Job& j) { return &slots_[j.slot] == &slot; });
    if (job == jobs_.end()) return;  // being decoded: let go when it ends
    jobs_.erase(job);
  }
  if (slot.state == State::Idle || slot.state == State::Unreadable) return;
  // Its room goes before its texture joins the free ones, so that the peak never counts it twice.
  hold(-int64_t(slot.held));
  slot.held = 0;
  if (slot.texture) {
    if (slot.state == State::Resident) ++counters_.evictions;
    free_textures_.push_back({slot.texture, slot.size, slot.texture_bytes});
    hold(int64_t(slot.texture_bytes));
    slot.texture = 0;
  }
  if (slot.state == State::Decoded || slot.state == State::Uploading)
    waiting_upload_.erase(std::find(waiting_upload_.begin(), waiting_upload_.end(), size_t(&slot - slots_.data())));
  if (slot.state == State::Resident) --counters_.resident;
  slot.image = {};
  slot.state = State::Idle;
  while (free_textures_.size() > FREE_TEXTURES_KEPT) drop_free_texture(0);
}

void OpenPhotoStream::drop_free_texture(size_t index) {
  glDeleteTextures(1, &free_textures_[index].name);
  hold(-int64_t(free_textures_[index].bytes));
  free_textures_.erase(free_textures_.begin() + std::ptrdiff_t(index));
}

void OpenPhotoStream::release_finished(int32_t row) {
  for (Slot& slot : slots_) {
    if (slot.state != State::Decoded && slot.state != State::Uploading && slot.state != State::Resident) continue;
    if (next_use(slot, row) == NEVER && !recently_drawn(slot)) release(slot);
  }
}

bool OpenPhotoStream::make_room(uint64_t bytes, int32_t needed_at, int32_t row) {
  while (counters_.held_bytes + bytes > settings_.budget_bytes) {
    if (!free_textures_.empty()) {
      drop_free_texture(0);
      continue;
    }
    // Belady: of what is held and may go, the photo needed furthest ahead; never one needed before
    // the photo the room is for.
    Slot* victim = nullptr;
    int32_t furthest = needed_at;
    for (Slot& slot : slots_) {
      if (slot.state != State::Decoded && slot.state != State::Uploading && slot.state != State::Resident) continue;
      if (recently_drawn(slot)) continue;
      const int32_t next = next_use(slot, row);
      if (next > furthest) furthest = next, victim = &slot;
    }
    if (!victim) return false;
    release(*victim);  // its texture joins the free ones, which go first in the next round
  }
  return true;
}

// Counted from the start of the decode until the photo is on the GPU: the decode's peak, or the
// decoded photo and its texture side by side while it goes up, whichever is more.
uint64_t OpenPhotoStream::decode_room(const Slot& slot) const {
  return std::max(open_photo_decode_peak_bytes(slot.header, slot.long_side, slot.header.file_bytes),
                  2 * slot.texture_bytes);
}

void OpenPhotoStream::queue(size_t s, int32_t next) {
  Slot& slot = slots_[s];
  const uint64_t peak = decode_room(slot);
  slot.held = peak;
  hold(int64_t(peak));
  slot.state = State::Queued;
  {
    std::lock_guard lock(mutex_);
    const auto at = std::upper_bound(jobs_.begin(), jobs_.end(), next,
                                     [](int32_t n, const Job& j) { return n < j.next_use; });
    jobs_.insert(at, {s, next, slot.long_side});
  }
  work_ready_.notify_one();
}

void OpenPhotoStream::fetch(int32_t row, bool forced_now) {
  const int32_t end = row > NEVER - settings_.horizon_rows ? NEVER - 1 : row + settings_.horizon_rows;
  wanted_.clear();
  ++fetch_round_;
  const auto from = std::lower_bound(spans_reach_.begin(), spans_reach_.end(), row) - spans_reach_.begin();
  for (size_t i = size_t(from); i < spans_.size() && spans_[i].rows.first <= end; ++i) {
    if (spans_[i].rows.last < row) continue;
    Slot& slot = slots_[spans_[i].slot];
    const int32_t at = std::max(spans_[i].rows.first, row);
    if (slot.wanted_round != fetch_round_) {
      slot.wanted_round = fetch_round_;
      slot.wanted_at = at;
      wanted_.push_back({at, spans_[i].slot});
    } else if (at < slot.wanted_at) {
      slot.wanted_at = at;
      for (auto& w : wanted_)
        if (w.second == spans_[i].slot) w.first = at;
    }
  }
  std::sort(wanted_.begin(), wanted_.end());

  // Jobs not yet started follow the horizon: those it no longer holds are dropped (after a seek),
  // the others take their new places.
  {
    std::lock_guard lock(mutex_);
    for (auto job = jobs_.begin(); job != jobs_.end();) {
      Slot& slot = slots_[job->slot];
      if (slot.wanted_round != fetch_round_) {
        hold(-int64_t(slot.held));
        slot.held = 0;
        slot.state = State::Idle;
        job = jobs_.erase(job);
      } else {
        job->next_use = slot.wanted_at;
        ++job;
      }
    }
    std::stable_sort(jobs_.begin(), jobs_.end(), [](const Job& a, const Job& b) { return a.next_use < b.next_use; });
  }

  // A few decodes in flight keep the workers busy; more would only hold memory early.
  const size_t in_flight_most = threads_.size() * 2 + 1;
  size_t in_flight = 0;
  for (const auto& [at, s] : wanted_)
    if (slots_[s].state == State::Queued) ++in_flight;
  for (const auto& [at, s] : wanted_) {
    Slot& slot = slots_[s];
    if (slot.state != State::Idle) continue;
    const bool now = forced_now && at == row;
    if (!now && in_flight >= in_flight_most) break;
    const uint64_t peak = decode_room(slot);
    if (peak > settings_.budget_bytes) {
      // Larger than all the room there is (a forged header, or a picture of hundreds of
      // megapixels that DCT scaling cannot shrink): never decoded, drawn as a missing photo.
      slot.state = State::Unreadable;
      continue;
    }
    // In first-use order: a photo that does not fit leaves the later ones waiting too, so that
    // none of them takes the room an earlier one needs.
    if (!make_room(peak, at, row) && !now) break;
    queue(s, at);
    ++in_flight;
  }
}

uint32_t OpenPhotoStream::texture_for(PixelSize size) {
  for (auto t = free_textures_.begin(); t != free_textures_.end(); ++t)
    if (t->size == size) {
      const uint32_t name = t->name;
      hold(-int64_t(t->bytes));  // from now on the photo's own room counts it
      free_textures_.erase(t);
      return name;
    }
  return make_texture(size);
}

bool OpenPhotoStream::upload_slot(Slot& slot, uint64_t& byte_budget) {
  if (slot.state == State::Decoded) {
    slot.texture = texture_for(slot.size);
    slot.state = State::Uploading;
    slot.upload_level = 0;
    slot.upload_row = 0;
  }
  glBindTexture(GL_TEXTURE_2D, slot.texture);
  const PackedUnpacking packed;
  while (slot.upload_level < slot.image.levels.size() && byte_budget > 0) {
    const PixelSize s = mip_level_size(slot.size, slot.upload_level);
    const uint64_t row_bytes = uint64_t(s.width) * 4;
    // In strips: one frame's share of a large level, the rest in the frames after.
    const uint32_t rows = uint32_t(std::min<uint64_t>(s.height - slot.upload_row, std::max<uint64_t>(1, byte_budget / row_bytes)));
    glTexSubImage2D(GL_TEXTURE_2D, GLint(slot.upload_level), 0, GLint(slot.upload_row), GLsizei(s.width), GLsizei(rows),
                    GL_RGBA, GL_UNSIGNED_BYTE, slot.image.levels[slot.upload_level].data() + slot.upload_row * row_bytes);
    byte_budget -= std::min(byte_budget, rows * row_bytes);
    counters_.last_upload_bytes += rows * row_bytes;
    slot.upload_row += rows;
    if (slot.upload_row == s.height) ++slot.upload_level, slot.upload_row = 0;
  }
  if (slot.upload_level < slot.image.levels.size()) return false;
  slot.image = {};
  slot.state = State::Resident;
  hold(int64_t(slot.texture_bytes) - int64_t(slot.held));
  slot.held = slot.texture_bytes;
  ++counters_.uploads;
  ++counters_.resident;
  return true;
}

void OpenPhotoStream::upload(uint64_t byte_budget) {
  // The photo needed first goes up first.
  std::sort(waiting_upload_.begin(), waiting_upload_.end(), [&](size_t a, size_t b) {
    return next_use(slots_[a], last_row_) < next_use(slots_[b], last_row_);
  });
  while (!waiting_upload_.empty() && byte_budget > 0) {
    Slot& slot = slots_[waiting_upload_.front()];
    if (!upload_slot(slot, byte_budget)) break;
    waiting_upload_.erase(waiting_upload_.begin());
  }
}

void OpenPhotoStream::begin_frame(double row, bool forced_now) {
  ++frame_;
  ++counters_.frames;
  frame_missed_ = false;
  last_row_ = whole_row(row);
  collect_decoded();
  release_finished(last_row_);
  fetch(last_row_, forced_now);
}

void OpenPhotoStream::before_frame(double row) {
  begin_frame(row, false);
  const auto started = std::chrono::steady_clock::now();
  counters_.last_upload_bytes = 0;
  upload(settings_.upload_bytes_per_frame);
  counters_.last_upload_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
}

void OpenPhotoStream::make_ready(double row, int wait_ms) {
  begin_frame(row, true);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(wait_ms, 0));
  const auto ready_now = [&] {
    for (const auto& [at, s] : wanted_) {
      if (at != last_row_) break;
      const State state = slots_[s].state;
      if (state != State::Resident && state != State::Unreadable) return false;
    }
    return true;
  };
  for (;;) {
    collect_decoded();
    counters_.last_upload_bytes = 0;
    // The photos this frame shows go up whole; the rest wait for their share of later frames.
    for (const auto& [at, s] : wanted_) {
      if (at != last_row_) break;
      Slot& slot = slots_[s];
      uint64_t all = UINT64_MAX;
      if ((slot.state == State::Decoded || slot.state == State::Uploading) && upload_slot(slot, all))
        waiting_upload_.erase(std::find(waiting_upload_.begin(), waiting_upload_.end(), s));
    }
    if (ready_now() || threads_.empty()) break;
    std::unique_lock lock(mutex_);
    if (!done_.empty()) continue;
    if (wait_ms < 0) {
      work_done_.wait(lock, [&] { return !done_.empty(); });
    } else if (!work_done_.wait_until(lock, deadline, [&] { return !done_.empty(); })) {
      break;
    }
  }
  upload(settings_.upload_bytes_per_frame);
}

void OpenPhotoStream::preload(int32_t to_row) {
  const int32_t horizon = settings_.horizon_rows;
  settings_.horizon_rows = std::max(0, to_row);
  ++frame_;
  last_row_ = 0;
  for (;;) {
    collect_decoded();
    upload(UINT64_MAX);
    fetch(0, false);  // as many more as the budget and the workers take
    bool pending = false;
    for (const auto& [at, s] : wanted_) pending |= slots_[s].state == State::Queued;
    if (!pending || threads_.empty()) break;
    std::unique_lock lock(mutex_);
    work_done_.wait(lock, [&] { return !done_.empty(); });
  }
  settings_.horizon_rows = horizon;
}

const OpenPhotoView* OpenPhotoStream::view(uint32_t number) {
  const auto at = std::lower_bound(slots_.begin(), slots_.end(), number,
                                   [](const Slot& s, uint32_t n) { return s.entry.number < n; });
  if (at == slots_.end() || at->entry.number != number) return nullptr;
  Slot& slot = *at;
  view_.half_width = slot.half_width;
  view_.half_height = slot.half_height;
  if (slot.state == State::Resident) {
    view_.ready = true;
    view_.texture = slot.texture;
    slot.drawn_frame = frame_;
    return &view_;
  }
  view_.ready = false;
  view_.texture = blank_texture_;
  if (slot.state == State::Unreadable) {
    ++counters_.unreadable_draws;
  } else if (next_use(slot, last_row_) != last_row_) {
    // Not at a row the plan shows it: the layer is hidden or black here (the scene asks for every
    // layer it draws, at scale -1 too), so nothing of the photo is missing from the picture.
    ++counters_.unplanned_draws;
  } else {
    ++counters_.misses;
    if (!frame_missed_) ++counters_.frames_with_miss;
    frame_missed_ = true;
  }
  return &view_;
}

size_t OpenPhotoStream::entries() const { return slots_.size(); }
