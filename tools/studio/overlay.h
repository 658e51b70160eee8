#pragma once
// The studio's overlay, drawn over the show's finished frame before it is presented: the time, the
// row, bar and beat, the 22 track values, and along the bottom a timeline with the music's
// waveform, a tick for every key of every track (a lane each), the loop and the play head. Faults
// of the show text are shown even while the rest is hidden.
//
// It draws in window pixels and leaves every piece of GL state the scene relies on (matrices and
// their mode, viewport, enables, blending, texture binding and environment, current colour,
// client arrays) as it found it. A frame allocates nothing: the geometry goes into buffers sized
// when the window is, and the parts that change only with the show (waveform, key ticks) are
// built again only when it changes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "photos/open_photo_stream.h"
#include "show/scene.h"
#include "tools/studio/overlay_font.h"
#include "tools/studio/timeline.h"
#include "tools/studio/transport.h"

// Everything the overlay shows in one frame.
struct OverlayView {
  bool overlay_shown = true;                        // all but the messages (H)
  double row = 0.0;                                 // the frame's row
  const Transport* transport = nullptr;             // pause, loop, delay, tempo, ends
  const SceneTracks* tracks = nullptr;              // their values at the row, their keys
  uint64_t keys_generation = 0;                     // changes whenever the keys may have
  const std::vector<float>* peaks = nullptr;        // the waveform, one peak a row
  double span_rows = 0.0;                           // the rows the timeline spans
  const std::vector<std::string>* errors = nullptr; // the text's faults, shown in red
  const std::string* write_error = nullptr;         // kestos/ could not be written
  const char* note = nullptr;                       // a passing word, or nullptr
  int selected_track = -1;                          // the track cursor (binding order); its keys are marked
  const char* input = nullptr;                      // a value being typed, or empty
  const std::vector<std::string>* photo_problems = nullptr;  // what is wrong with the photos (with the overlay shown)
  bool text_gone = false;                           // the show text has been deleted (shown even hidden)
  const OpenPhotoCounters* open_photos = nullptr;   // the streaming of photos from 44 up, when there are any
};

class Overlay {
 public:
  static constexpr size_t MAX_CHARACTERS = 4096;  // a frame's text; more is cut off
  static constexpr size_t MAX_SHAPES = 512;       // boxes, loop, play head

  Overlay();
  ~Overlay();

  // GL context current. The window's size in pixels; builds the font for it when its size
  // changes. False, with `error`, when no font can be had (the overlay then draws no text).
  bool resize(int width, int height, std::string& error);
  const TimelineLayout& timeline() const { return timeline_; }
  int pixel_size() const { return font_ ? font_->pixel_size() : 0; }

  void draw(const OverlayView& view);

  struct Vertex {
    float x, y, s, t;
    uint8_t r, g, b, a;
  };
  struct Colour {
    uint8_t r, g, b, a;
  };

 private:
  void build_timeline(const OverlayView& view);
  void shape(float x0, float y0, float x1, float y1, Colour c);
  float text(float x, float y, const char* utf8, Colour c, size_t max_chars = SIZE_MAX);
  float box_behind(float x, float y, size_t columns, size_t lines);
  void messages(const OverlayView& view);
  void marks(const OverlayView& view);
  void readout(const OverlayView& view);

  int width_ = 0, height_ = 0;
  TimelineLayout timeline_;
  std::unique_ptr<OverlayFont> font_;

  // Fixed buffers, filled from the start each frame.
  std::vector<Vertex> shapes_, glyphs_;
  size_t shape_count_ = 0, glyph_count_ = 0;
  std::vector<Vertex> timeline_vertices_;  // waveform and key ticks, rebuilt when they change
  struct TimelineKey {
    int width = -1, height = -1;
    double span = -1;
    uint64_t generation = 0;
    size_t peaks = 0;
    friend bool operator==(const TimelineKey&, const TimelineKey&) = default;
  } built_;
};
