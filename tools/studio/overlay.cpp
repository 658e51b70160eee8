#include "tools/studio/overlay.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/studio/scene_handles.h"
#include "tools/studio/tempo.h"

namespace {

constexpr Overlay::Colour TEXT{235, 235, 235, 255};
constexpr Overlay::Colour DIM{160, 160, 160, 255};
constexpr Overlay::Colour FAULT{255, 90, 80, 255};
constexpr Overlay::Colour WARNING{255, 190, 70, 255};
constexpr Overlay::Colour BACKING{0, 0, 0, 170};
constexpr Overlay::Colour WAVE{110, 140, 175, 255};
constexpr Overlay::Colour LANE_BACK{110, 170, 255, 255};
constexpr Overlay::Colour LANE_BEARD{255, 165, 80, 255};
constexpr Overlay::Colour LANE_OTHER{130, 225, 130, 255};
constexpr Overlay::Colour LOOP_EDGE{255, 220, 40, 255};
constexpr Overlay::Colour PLAY_HEAD{255, 255, 255, 255};
constexpr Overlay::Colour CURSOR{255, 255, 255, 70};
constexpr Overlay::Colour KEY_MARK{255, 90, 200, 255};

constexpr int MARGIN = 6;  // pixels between the window's edge, the boxes and the text

// The next code point of UTF-8 text; a byte that starts no valid sequence stands for itself (as
// Latin-1 would read it) so that nothing is skipped.
uint32_t next_code_point(const char*& p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  if (u[0] < 0x80) {
    ++p;
    return u[0];
  }
  int extra = u[0] >= 0xF0 ? 3 : u[0] >= 0xE0 ? 2 : u[0] >= 0xC0 ? 1 : 0;
  uint32_t c = u[0] & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    if ((u[i] & 0xC0) != 0x80) extra = 0;  // broken sequence (the terminator included)
    if (extra == 0) break;
    c = c << 6 | (u[i] & 0x3F);
  }
  if (extra == 0) {
    ++p;
    return u[0];
  }
  p += extra + 1;
  return c;
}

// A track value in seven columns: two decimals while they fit, powers of ten beyond.
void format_value(float v, char* out, size_t size) {
  if (std::fabs(v) < 99999.995f)
    std::snprintf(out, size, "%7.2f", static_cast<double>(v));
  else
    std::snprintf(out, size, "%7.0e", static_cast<double>(v));
}

}  // namespace

Overlay::Overlay() : shapes_(MAX_SHAPES * 4), glyphs_(MAX_CHARACTERS * 4) {}

Overlay::~Overlay() = default;

bool Overlay::resize(int width, int height, std::string& error) {
  width_ = width;
  height_ = height;
  timeline_ = timeline_layout(width, height);
  const int size = std::clamp(height / 48, 10, 22);
  if (font_ && font_->pixel_size() == size) return true;
  font_.reset();
  font_ = OverlayFont::open(size, error);
  return font_ != nullptr;
}

void Overlay::shape(float x0, float y0, float x1, float y1, Colour c) {
  if (shape_count_ + 4 > shapes_.size()) return;
  Vertex* v = &shapes_[shape_count_];
  v[0] = {x0, y0, 0, 0, c.r, c.g, c.b, c.a};
  v[1] = {x1, y0, 0, 0, c.r, c.g, c.b, c.a};
  v[2] = {x1, y1, 0, 0, c.r, c.g, c.b, c.a};
  v[3] = {x0, y1, 0, 0, c.r, c.g, c.b, c.a};
  shape_count_ += 4;
}

// Draws up to `max_chars` characters from `utf8` with the top-left corner of the first at (x, y);
// returns the x after the last.
float Overlay::text(float x, float y, const char* utf8, Colour c, size_t max_chars) {
  if (!font_ || !utf8) return x;
  const float w = static_cast<float>(font_->cell_width()), h = static_cast<float>(font_->cell_height());
  for (size_t n = 0; *utf8 && n < max_chars; ++n) {
    const uint32_t code = next_code_point(utf8);
    if (code != ' ' && glyph_count_ + 4 <= glyphs_.size()) {
      const GlyphCell& g = font_->cell(code);
      Vertex* v = &glyphs_[glyph_count_];
      v[0] = {x, y, g.s0, g.t0, c.r, c.g, c.b, c.a};
      v[1] = {x + w, y, g.s1, g.t0, c.r, c.g, c.b, c.a};
      v[2] = {x + w, y + h, g.s1, g.t1, c.r, c.g, c.b, c.a};
      v[3] = {x, y + h, g.s0, g.t1, c.r, c.g, c.b, c.a};
      glyph_count_ += 4;
    }
    x += w;
  }
  return x;
}

// A dark box for `lines` lines of `columns` characters whose first character sits at (x, y).
float Overlay::box_behind(float x, float y, size_t columns, size_t lines) {
  if (!font_) return y;
  const float bottom = y + static_cast<float>(lines * font_->cell_height());
  shape(x - MARGIN / 2, y - MARGIN / 2, x + static_cast<float>(columns * font_->cell_width()) + MARGIN / 2,
        bottom + MARGIN / 2, BACKING);
  return bottom;
}

void Overlay::build_timeline(const OverlayView& view) {
  const TimelineKey key{width_, height_, view.span_rows, view.keys_generation, view.peaks ? view.peaks->size() : 0};
  if (key == built_) return;
  built_ = key;
  timeline_vertices_.clear();
  const TimelineLayout& t = timeline_;
  auto quad = [&](float x0, float y0, float x1, float y1, Colour c) {
    timeline_vertices_.push_back({x0, y0, 0, 0, c.r, c.g, c.b, c.a});
    timeline_vertices_.push_back({x1, y0, 0, 0, c.r, c.g, c.b, c.a});
    timeline_vertices_.push_back({x1, y1, 0, 0, c.r, c.g, c.b, c.a});
    timeline_vertices_.push_back({x0, y1, 0, 0, c.r, c.g, c.b, c.a});
  };
  // The waveform: the loudest row under each pixel column, mirrored about the band's middle.
  if (view.peaks && !view.peaks->empty() && view.span_rows > 0) {
    const std::vector<float>& peaks = *view.peaks;
    const float middle = t.y + t.wave_height / 2.0f, half = (t.wave_height - 2) / 2.0f;
    for (int px = 0; px < t.width; ++px) {
      const double r0 = timeline_row_at(t, view.span_rows, t.x + px);
      const double r1 = timeline_row_at(t, view.span_rows, t.x + px + 1);
      size_t i0 = static_cast<size_t>(std::max(0.0, std::floor(r0)));
      const size_t i1 = std::min(peaks.size(), static_cast<size_t>(std::max(0.0, std::ceil(r1))));
      float peak = 0;
      for (; i0 < i1; ++i0) peak = std::max(peak, peaks[i0]);
      if (peak <= 0) continue;
      const float h = std::max(peak * half, 0.5f);
      quad(t.x + px, middle - h, t.x + px + 1.0f, middle + h, WAVE);
    }
  }
  // A lane of ticks per track, in binding order.
  if (view.tracks) {
    const auto handles = scene_handles(*view.tracks);
    for (int lane = 0; lane < SCENE_TRACK_COUNT; ++lane) {
      const SyncTrack* track = handles[lane];
      if (!track) continue;
      const Colour c = lane < 10 ? LANE_BACK : lane < 20 ? LANE_BEARD : LANE_OTHER;
      const float y0 = t.y + t.wave_height + lane * t.lane_height;
      const float y1 = y0 + std::max(t.lane_height - (t.lane_height >= 3 ? 1.0f : 0.0f), 1.0f);
      for (const TrackKey& k : track->keys) {
        if (k.row < 0 || k.row > view.span_rows) continue;
        const float x = std::floor(timeline_x_of(t, view.span_rows, k.row));
        quad(x, y0, x + 1, y1, c);
      }
    }
  }
}

void Overlay::readout(const OverlayView& view) {
  const Transport& tr = *view.transport;
  const float ch = static_cast<float>(font_->cell_height());
  char line[160], clock[32], tempo[32], loop[96], delay[32];

  // Time, row, bar and beat; the transport's state.
  format_clock(view.row, clock, sizeof clock);
  const BarBeat bb = bar_beat(view.row, tr.tempo());
  if (tr.tempo().known())
    std::snprintf(tempo, sizeof tempo, "%g bpm", tr.tempo().bpm);
  else
    std::snprintf(tempo, sizeof tempo, "no bpm");
  const char* state = tr.at_end_of_show()    ? "end of show: \"happy\" is 2 here"
                      : tr.at_end_of_music() ? "end of the music"
                      : tr.paused()          ? "paused"
                                             : "playing";
  loop[0] = '\0';
  const LoopRange& l = tr.loop();
  if (l.start >= 0 || l.end >= 0) {
    char a[32] = "?", b[32] = "?";
    if (l.start >= 0) format_clock(l.start, a, sizeof a);
    if (l.end >= 0) format_clock(l.end, b, sizeof b);
    std::snprintf(loop, sizeof loop, "   loop %s-%s %s", a, b, l.on ? "on" : "off");
  }
  delay[0] = '\0';
  if (tr.delay_ms() != 0) std::snprintf(delay, sizeof delay, "   picture %+d ms", tr.delay_ms());

  // Photos from 44 up: how many are held and in how much memory, and how many frames drew one late.
  char photos[96] = "";
  if (const OpenPhotoCounters* c = view.open_photos)
    std::snprintf(photos, sizeof photos, "   photos %llu held, %.0f MB, %llu late", (unsigned long long)c->resident,
                  double(c->held_bytes) / (1 << 20), (unsigned long long)c->frames_with_miss);

  const float x = MARGIN * 2, y = MARGIN * 2;
  char first[160], second[288];
  std::snprintf(first, sizeof first, "%s   row %.2f   bar %lld:%d   %s", clock, view.row, bb.bar, bb.beat, tempo);
  std::snprintf(second, sizeof second, "%s%s%s%s", state, loop, delay, photos);
  constexpr size_t TABLE_COLUMNS = 6 + 10 * 7;
  const size_t columns = std::max({std::strlen(first), std::strlen(second), TABLE_COLUMNS});
  box_behind(x, y, columns, 8);
  text(x, y, first, TEXT);
  text(x, y + ch, second, tr.at_end_of_show() || tr.at_end_of_music() ? WARNING : TEXT);

  // The 22 values at this row, the selected one under the cursor.
  const float ty = y + 2.5f * ch;
  const float cw = static_cast<float>(font_->cell_width());
  const int sel = view.selected_track;
  if (sel >= 0 && sel < SCENE_TRACK_COUNT) {
    const float cx = x + cw * static_cast<float>(sel < 20 ? 6 + (sel % 10) * 7 : sel == 20 ? 5 : 21);
    const float cy = ty + ch * static_cast<float>(sel < 20 ? 1 + sel / 10 : 3);
    shape(cx, cy, cx + 7 * cw, cy + ch, CURSOR);
    if (view.input && *view.input)
      std::snprintf(line, sizeof line, "%s  value %s_  (Enter sets it)", SCENE_TRACK_NAMES[sel], view.input);
    else
      std::snprintf(line, sizeof line, "%s  K key  I interpolation  Del remove  Ctrl+Z undo", SCENE_TRACK_NAMES[sel]);
    text(x, ty + 4 * ch, line, DIM);
  }
  text(x, ty, "            n      x      y      r      g      b  scale   rotx   roty   rotz", DIM);
  if (!view.tracks) return;
  const auto handles = scene_handles(*view.tracks);
  auto value = [&](int i) { return handles[i] ? get_value(*handles[i], view.row) : 0.0f; };
  for (int layer = 0; layer < 2; ++layer) {
    float lx = text(x, ty + (1 + layer) * ch, layer == 0 ? "back  " : "beard ", layer == 0 ? LANE_BACK : LANE_BEARD);
    for (int i = 0; i < 10; ++i) {
      format_value(value(layer * 10 + i), line, sizeof line);
      lx = text(lx, ty + (1 + layer) * ch, line, TEXT);
    }
  }
  char sad[16], happy[16];
  format_value(value(20), sad, sizeof sad);
  format_value(value(21), happy, sizeof happy);
  std::snprintf(line, sizeof line, "sad  %s   happy %s", sad, happy);
  text(x, ty + 3 * ch, line, LANE_OTHER);
}

// The selected track's keys across the whole strip, each with its value where there is room.
void Overlay::marks(const OverlayView& view) {
  if (!view.tracks || view.selected_track < 0 || view.selected_track >= SCENE_TRACK_COUNT) return;
  const SyncTrack* track = scene_handles(*view.tracks)[static_cast<size_t>(view.selected_track)];
  if (!track) return;
  const TimelineLayout& t = timeline_;
  const float cw = font_ ? static_cast<float>(font_->cell_width()) : 0;
  float free_from = -1e9f;  // labels do not overlap
  char label[32];
  for (const TrackKey& k : track->keys) {
    if (k.row < 0 || k.row > view.span_rows) continue;
    const float x = std::floor(timeline_x_of(t, view.span_rows, k.row));
    shape(x - 1, t.y, x + 2, t.y + t.height, KEY_MARK);
    if (!font_ || x + 3 < free_from) continue;
    std::snprintf(label, sizeof label, "%g", static_cast<double>(k.value));
    free_from = text(x + 3, t.y + 1, label, KEY_MARK) + cw;
  }
}

void Overlay::messages(const OverlayView& view) {
  const float cw = static_cast<float>(font_->cell_width()), ch = static_cast<float>(font_->cell_height());
  const size_t columns = static_cast<size_t>(std::max((width_ - 4 * MARGIN) / static_cast<int>(cw), 10));
  // Lines from the bottom up: the note, the write error, then the text's first fault (wrapped) and
  // how many more there are.
  const char* lines[12];
  Colour colours[12];
  size_t count = 0;
  char more[96], more_photos[96];
  const std::vector<std::string>* errors = view.errors;
  if (errors && !errors->empty()) {
    const char* p = errors->front().c_str();
    for (int wrapped = 0; *p && wrapped < 4 && count < 8; ++wrapped) {
      lines[count] = p;
      colours[count++] = FAULT;
      const char* q = p;
      for (size_t n = 0; *q && n < columns; ++n) next_code_point(q);
      p = q;
    }
    if (errors->size() > 1) {
      std::snprintf(more, sizeof more, "and %zu more (all of them on the terminal)", errors->size() - 1);
      lines[count] = more;
      colours[count++] = FAULT;
    }
  }
  if (view.text_gone && count < 12) {
    lines[count] = "the show text is gone: the last good text plays on until it is back";
    colours[count++] = WARNING;
  }
  if (view.overlay_shown && view.photo_problems && !view.photo_problems->empty()) {
    const std::vector<std::string>& p = *view.photo_problems;
    const size_t shown = std::min<size_t>(p.size(), 3);
    for (size_t i = 0; i < shown && count < 12; ++i) {
      lines[count] = p[i].c_str();
      colours[count++] = WARNING;
    }
    if (p.size() > shown && count < 12) {
      std::snprintf(more_photos, sizeof more_photos, "and %zu more photo problems (all on the terminal)",
                    p.size() - shown);
      lines[count] = more_photos;
      colours[count++] = WARNING;
    }
  }
  if (view.write_error && !view.write_error->empty() && count < 12) {
    lines[count] = view.write_error->c_str();
    colours[count++] = WARNING;
  }
  if (view.note && *view.note && count < 12) {
    lines[count] = view.note;
    colours[count++] = TEXT;
  }
  if (count == 0) return;
  const float bottom = (view.overlay_shown ? timeline_.y : height_) - 2.0f * MARGIN;
  const float top = bottom - count * ch;
  size_t widest = 0;
  for (size_t i = 0; i < count; ++i) {
    const char* q = lines[i];
    size_t n = 0;
    while (*q && n < columns) next_code_point(q), ++n;
    widest = std::max(widest, n);
  }
  box_behind(MARGIN * 2, top, widest, count);
  for (size_t i = 0; i < count; ++i) text(MARGIN * 2, top + i * ch, lines[i], colours[i], columns);
}

void Overlay::draw(const OverlayView& view) {
  if (width_ <= 0 || height_ <= 0) return;
  shape_count_ = glyph_count_ = 0;
  const TimelineLayout& t = timeline_;
  size_t under = 0;  // shapes drawn below the waveform and ticks
  if (view.overlay_shown) {
    build_timeline(view);
    shape(t.x, t.y, t.x + t.width, t.y + t.height, BACKING);
    under = shape_count_;
    const LoopRange& l = view.transport->loop();
    if (l.complete()) {
      const float x0 = timeline_x_of(t, view.span_rows, l.start), x1 = timeline_x_of(t, view.span_rows, l.end);
      shape(x0, t.y, x1 + 1, t.y + t.height, {255, 220, 40, static_cast<uint8_t>(l.on ? 70 : 30)});
    }
    for (double edge : {l.start, l.end}) {
      if (edge < 0) continue;
      const float x = std::floor(timeline_x_of(t, view.span_rows, edge));
      shape(x, t.y, x + 1, t.y + t.height, LOOP_EDGE);
    }
    const float head = std::floor(timeline_x_of(t, view.span_rows, std::clamp(view.row, 0.0, view.span_rows)));
    shape(head - 1, t.y, head + 1, t.y + t.height, PLAY_HEAD);
    marks(view);
    if (font_) readout(view);
  }
  if (font_) messages(view);
  if (shape_count_ == 0 && glyph_count_ == 0) return;

  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT | GL_VIEWPORT_BIT |
               GL_TRANSFORM_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glViewport(0, 0, width_, height_);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, width_, height_, 0, -1, 1);  // window pixels, y down
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_INDEX_ARRAY);
  glDisableClientState(GL_EDGE_FLAG_ARRAY);

  auto draw_vertices = [](const Vertex* v, size_t count) {
    if (count == 0) return;
    glVertexPointer(2, GL_FLOAT, sizeof(Vertex), &v->x);
    glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &v->s);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), &v->r);
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(count));
  };
  glDisable(GL_TEXTURE_2D);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  draw_vertices(shapes_.data(), under);
  if (view.overlay_shown) draw_vertices(timeline_vertices_.data(), timeline_vertices_.size());
  draw_vertices(shapes_.data() + under, shape_count_ - under);
  if (font_ && glyph_count_ > 0) {
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindTexture(GL_TEXTURE_2D, font_->texture());
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    draw_vertices(glyphs_.data(), glyph_count_);
  }

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}
