#include "tools/capture/catalogue_stream.h"

#include <GL/gl.h>

#include <algorithm>
#include <limits>

#include "photos/decode_ahead.h"
#include "photos/load_sequence.h"
#include "photos/photo_catalogue.h"
#include "show/scene.h"

namespace {

constexpr size_t NEVER = std::numeric_limits<size_t>::max();

// The loader start-up uses for each catalogue index; none for the entries it never loads.
struct Loaders {
  bool loaded[PHOTO_COUNT] = {};
  LoaderKind kind[PHOTO_COUNT] = {};
  Loaders() {
    for (const LoadJob& job : load_jobs()) loaded[job.index] = true, kind[job.index] = job.loader;
  }
};

const Loaders& loaders() {
  static const Loaders table;
  return table;
}

LoadJob load_job(uint32_t index) { return {loaders().kind[index], index, nullptr}; }

}  // namespace

CatalogueStream::CatalogueStream(const std::vector<double>& rows, const Settings& settings)
    : held_bytes_(PHOTO_COUNT, 0), loads_of_(PHOTO_COUNT, 0) {
  const size_t frames = rows.size();
  // Each photo's frames, in order.
  std::vector<std::vector<size_t>> uses(PHOTO_COUNT);
  for (size_t f = 0; f < frames; ++f) {
    const FrameTextures drawn = catalogue_textures_at(rows[f]);
    for (int i = 0; i < drawn.count; ++i)
      if (loaders().loaded[drawn.names[i]] && (uses[drawn.names[i]].empty() || uses[drawn.names[i]].back() != f))
        uses[drawn.names[i]].push_back(f);
  }
  // A photo is held at frame f when a frame from f to the horizon's last frame draws it.
  std::vector<size_t> next(PHOTO_COUNT, 0);
  std::vector<bool> held(PHOTO_COUNT, false);
  size_t horizon_end = 0;  // the last frame within the horizon of frame f
  for (size_t f = 0; f < frames; ++f) {
    horizon_end = std::max(horizon_end, f);
    while (horizon_end + 1 < frames && rows[horizon_end + 1] <= rows[f] + settings.horizon_rows) ++horizon_end;
    for (uint32_t index = 0; index < PHOTO_COUNT; ++index) {
      const std::vector<size_t>& u = uses[index];
      while (next[index] < u.size() && u[next[index]] < f) ++next[index];
      const size_t next_use = next[index] < u.size() ? u[next[index]] : NEVER;
      const bool wanted = next_use <= horizon_end;
      if (wanted != held[index]) {
        events_.push_back({f, index, wanted});
        if (wanted) load_order_.push_back(index);
        held[index] = wanted;
      }
    }
  }
  // At each frame the releases first, so that a photo's memory is back before the next one comes.
  std::stable_sort(events_.begin(), events_.end(),
                   [](const Event& a, const Event& b) { return a.frame < b.frame || (a.frame == b.frame && !a.load && b.load); });
  const int side = picture_square_side_from_gl();
  steps_ = std::make_unique<TextureLoadSteps>(side, nullptr);
  decoder_ = std::make_unique<DecodeAhead>(
      load_order_.size(), [this](size_t load) { return steps_->decode(load_job(load_order_[load])); }, 1,
      std::max(1, settings.decode_ahead), settings.decode_budget_bytes,
      [this](size_t load) { return steps_->decode_peak_bytes(load_job(load_order_[load])); });
}

CatalogueStream::~CatalogueStream() {
  decoder_.reset();  // joins the worker before the steps it decodes with go
  for (uint32_t index = 0; index < PHOTO_COUNT; ++index)
    if (held_bytes_[index] > 0) release(index);
}

void CatalogueStream::release(uint32_t index) {
  if (index == 0) {
    // The default texture cannot be deleted; an empty image gives back its memory.
    glBindTexture(GL_TEXTURE_2D, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  } else {
    // Its next load starts from a fresh texture object, as start-up's did.
    glDeleteTextures(1, &index);
  }
  if (held_bytes_[index] > 0) --held_;
  held_total_ -= held_bytes_[index];
  held_bytes_[index] = 0;
}

void CatalogueStream::before_frame(size_t frame) {
  for (; next_event_ < events_.size() && events_[next_event_].frame <= frame; ++next_event_) {
    const Event& event = events_[next_event_];
    if (!event.load) {
      release(event.index);
      continue;
    }
    TextureImage image = decoder_->take(next_load_++);
    steps_->upload(load_job(event.index), image);
    ++loads_of_[event.index];
    // A photo that is missing or does not decode leaves its name without an image, as at start-up.
    held_bytes_[event.index] = image.pixels.size();
    if (held_bytes_[event.index] == 0) continue;
    ++counters_.loads;
    held_total_ += held_bytes_[event.index];
    ++held_;
    counters_.most_held = std::max(counters_.most_held, held_);
    counters_.most_held_bytes = std::max(counters_.most_held_bytes, held_total_);
  }
}
