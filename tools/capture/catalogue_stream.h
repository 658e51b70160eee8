#pragma once
// The catalogue's photos for a capture, each in its own texture name only around the frames that
// draw it, so that a capture holds a few photos whatever the length of the show. The capture knows
// every row it will draw, so it knows exactly which photos each frame draws (catalogue_textures_at)
// and plans the whole run before the first frame: a photo is held from the first frame within the
// horizon of a frame that draws it until no frame within the horizon draws it any more. Loads come
// in that order, each decoded ahead on a worker by the show's own loaders and uploaded under its
// catalogue index as start-up would upload it, so every frame is the show's frame.
//
// GL thread, after a start-up that loaded no catalogue photo (CatalogueLoading::FramesOnly).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class DecodeAhead;
class TextureLoadSteps;

class CatalogueStream {
 public:
  struct Settings {
    double horizon_rows = 4;   // a fifth of a second of the show: decodes run ahead of it
    // Decoded photos waiting for their upload and the decodes under way (not the textures held).
    size_t decode_budget_bytes = size_t(96) << 20;
    int decode_ahead = 2;      // loads decoded before their frame
  };
  struct Counters {
    size_t loads = 0;         // photos uploaded (one missing or unreadable is not)
    size_t most_held = 0;     // photos held at once, at most
    uint64_t most_held_bytes = 0;
  };

  // `rows`: the rows of the frames the capture draws, in the order it draws them.
  explicit CatalogueStream(const std::vector<double>& rows) : CatalogueStream(rows, Settings{}) {}
  CatalogueStream(const std::vector<double>& rows, const Settings& settings);
  ~CatalogueStream();  // GL thread: the photos held are released
  CatalogueStream(const CatalogueStream&) = delete;
  CatalogueStream& operator=(const CatalogueStream&) = delete;

  // Before frame `frame` draws (each frame once, in order): what no frame within the horizon draws
  // is released, and what frame `frame` and those after it within the horizon draw is loaded.
  void before_frame(size_t frame);
  const Counters& counters() const { return counters_; }
  // How many times the photo with catalogue index `index` has been loaded into its texture so far.
  uint64_t loads_of(uint32_t index) const { return index < loads_of_.size() ? loads_of_[index] : 0; }

 private:
  struct Event {
    size_t frame;
    uint32_t index;
    bool load;  // else release
  };
  void release(uint32_t index);

  std::vector<Event> events_;        // by frame
  std::vector<uint32_t> load_order_; // the catalogue index of each load, in order
  size_t next_event_ = 0, next_load_ = 0;
  std::unique_ptr<TextureLoadSteps> steps_;
  std::unique_ptr<DecodeAhead> decoder_;
  std::vector<uint64_t> held_bytes_;  // by catalogue index; 0 when not held
  std::vector<uint64_t> loads_of_;    // by catalogue index
  size_t held_ = 0;
  uint64_t held_total_ = 0;
  Counters counters_;
};
