// The overlay over the show's frame, offscreen: it leaves the GL state the scene relies on as it
// found it, the show's own picture is the same whether an overlay was drawn before or not, and
// with the overlay hidden nothing but a fault is drawn.
#include <GL/gl.h>

#include <array>
#include <vector>

#include "app/swap_buffers.h"
#include "show/scene.h"
#include "tests/support/gl_harness.h"
#include "tools/studio/overlay.h"

namespace {

struct StillMusic : MusicControl {
  double seconds() override { return 10.0; }
  void pause() override {}
  void resume() override {}
  void seek(double) override {}
  double length_seconds() override { return 72.0; }
};

// Every piece of state the scene reads or the overlay touches.
struct GlState {
  GLint matrix_mode, viewport[4], texture, blend_src, blend_dst, env_mode, unpack_alignment;
  GLfloat projection[16], modelview[16], colour[4];
  GLboolean texture_2d, blend, depth_test, cull_face, lighting, vertex_array, colour_array, texcoord_array;
  GLint projection_depth, modelview_depth, attrib_depth, client_attrib_depth;
  bool operator==(const GlState& o) const {
    auto same = [](const auto& a, const auto& b) { return std::equal(std::begin(a), std::end(a), std::begin(b)); };
    return matrix_mode == o.matrix_mode && same(viewport, o.viewport) && texture == o.texture &&
           blend_src == o.blend_src && blend_dst == o.blend_dst && env_mode == o.env_mode &&
           unpack_alignment == o.unpack_alignment && same(projection, o.projection) &&
           same(modelview, o.modelview) && same(colour, o.colour) && texture_2d == o.texture_2d &&
           blend == o.blend && depth_test == o.depth_test && cull_face == o.cull_face && lighting == o.lighting &&
           vertex_array == o.vertex_array && colour_array == o.colour_array && texcoord_array == o.texcoord_array &&
           projection_depth == o.projection_depth && modelview_depth == o.modelview_depth &&
           attrib_depth == o.attrib_depth && client_attrib_depth == o.client_attrib_depth;
  }
};

GlState read_state() {
  GlState s{};
  glGetIntegerv(GL_MATRIX_MODE, &s.matrix_mode);
  glGetIntegerv(GL_VIEWPORT, s.viewport);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
  glGetIntegerv(GL_BLEND_SRC, &s.blend_src);
  glGetIntegerv(GL_BLEND_DST, &s.blend_dst);
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &s.env_mode);
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &s.unpack_alignment);
  glGetFloatv(GL_PROJECTION_MATRIX, s.projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview);
  glGetFloatv(GL_CURRENT_COLOR, s.colour);
  s.texture_2d = glIsEnabled(GL_TEXTURE_2D);
  s.blend = glIsEnabled(GL_BLEND);
  s.depth_test = glIsEnabled(GL_DEPTH_TEST);
  s.cull_face = glIsEnabled(GL_CULL_FACE);
  s.lighting = glIsEnabled(GL_LIGHTING);
  s.vertex_array = glIsEnabled(GL_VERTEX_ARRAY);
  s.colour_array = glIsEnabled(GL_COLOR_ARRAY);
  s.texcoord_array = glIsEnabled(GL_TEXTURE_COORD_ARRAY);
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projection_depth);
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelview_depth);
  glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &s.attrib_depth);
  glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &s.client_attrib_depth);
  return s;
}

class StudioOverlayTest : public gltest::GlTest {
 protected:
  ScreenSize screen_size() const override { return {1280, 720}; }
  void SetUp() override {
    gltest::GlTest::SetUp();
    folder_ = std::make_unique<gltest::TempDir>();
    gltest::write_track_file("back.x", {{0, -1, Linear}, {400, 1, Step}});
    gltest::write_track_file("back.r", {{0, 1, Step}});
    gltest::write_track_file("beard.g", {{0, 1, Step}});
    gltest::write_track_file("beard.x", {{0, 1.5f, Step}, {100, -1.5f, Smooth}, {300, 1.5f, Step}});
    gltest::write_track_file("happy", {{0, 0, Step}, {1430, 2, Step}});
    bind_tracks();
    std::string error;
    ASSERT_TRUE(overlay_.resize(1280, 720, error)) << error;
    for (int i = 0; i < 1440; ++i) peaks_.push_back(0.5f + 0.4f * static_cast<float>((i * 37) % 11) / 11);
    transport_.set_tempo(tempo_from_text(120, 4));
    view_.transport = &transport_;
    view_.tracks = &scene_tracks();
    view_.peaks = &peaks_;
    view_.span_rows = 1440;
    view_.errors = &errors_;
    view_.write_error = &write_error_;
    view_.row = 200;
  }
  std::unique_ptr<gltest::TempDir> folder_;
  StillMusic music_;
  Transport transport_{music_};
  Overlay overlay_;
  OverlayView view_;
  std::vector<float> peaks_;
  std::vector<std::string> errors_;
  std::string write_error_;
};

TEST_F(StudioOverlayTest, LeavesTheGlStateAsItFoundIt) {
  ASSERT_EQ(render_frame_at(200, swap_buffers), FrameResult::Presented);
  errors_ = {"show.txt:12: unknown track 'back.q' (the show reads back.n, back.x, back.y, back.r, back.g, "
             "back.b, back.scale, back.rotx, back.roty, back.rotz, beard.n, beard.x, beard.y, beard.r, beard.g, "
             "beard.b, beard.scale, beard.rotx, beard.roty, beard.rotz, sad, happy)",
             "show.txt:14: value 'x' is not a number"};
  view_.note = "loop on";
  const GlState before = read_state();
  overlay_.draw(view_);
  EXPECT_TRUE(read_state() == before);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The show's frame after an overlay is the frame the show draws without one.
TEST_F(StudioOverlayTest, TheShowsPictureIsTheSameAfterAnOverlay) {
  ASSERT_EQ(render_frame_at(250, swap_buffers), FrameResult::Presented);
  const gltest::Frame plain = presented();
  ASSERT_EQ(render_frame_at(120, swap_buffers), FrameResult::Presented);
  overlay_.draw(view_);
  const gltest::Frame with_overlay = drawn();
  EXPECT_NE(with_overlay, presented());  // it drew something
  ASSERT_EQ(render_frame_at(250, swap_buffers), FrameResult::Presented);
  EXPECT_EQ(presented(), plain);
  keep_on_failure(with_overlay, "overlay");
}

TEST_F(StudioOverlayTest, DrawsTextAndTimelineAndHiddenOnlyTheFaults) {
  auto bright = [](gltest::Rgba c) { return c.r > 200 && c.g > 200 && c.b > 200; };
  ASSERT_EQ(render_frame_at(200, swap_buffers), FrameResult::Presented);
  const gltest::Frame plain = drawn();
  overlay_.draw(view_);
  const gltest::Frame shown = drawn();
  keep_on_failure(shown, "shown");
  const gltest::Rect text = shown.bounds(bright);
  EXPECT_LT(text.y, 40) << text;  // the time line at the top left
  EXPECT_LT(text.x, 40) << text;
  const TimelineLayout& t = overlay_.timeline();
  EXPECT_EQ(t.y + t.height, 720);
  // The play head at row 200 of 1440, white from top to bottom of the strip.
  const int head = static_cast<int>(timeline_x_of(t, 1440, 200));
  EXPECT_TRUE(bright(shown.at(head, t.y + 1)));
  EXPECT_TRUE(bright(shown.at(head, 719)));
  // Waveform in the band above the lanes.
  const gltest::Rgba wave = shown.at(640, t.y + t.wave_height / 2);
  EXPECT_GT(wave.b, 100) << wave;

  view_.overlay_shown = false;
  ASSERT_EQ(render_frame_at(200, swap_buffers), FrameResult::Presented);
  overlay_.draw(view_);
  EXPECT_EQ(drawn(), plain);  // hidden: the show's picture alone
  errors_ = {"show.txt:3: key before any track name"};
  overlay_.draw(view_);
  const gltest::Frame fault = drawn();
  keep_on_failure(fault, "fault");
  const gltest::Rect red = fault.bounds([](gltest::Rgba c) { return c.r > 200 && c.g < 120 && c.b < 120; });
  EXPECT_FALSE(red.empty());
  EXPECT_GT(red.y, 600) << red;  // along the bottom
}

// The selected track's keys are marked across the whole strip; the others' only as lane ticks.
// Photo problems show with the overlay and go with it; a deleted text is noted either way.
TEST_F(StudioOverlayTest, MarksTheSelectedTracksKeysAndListsPhotoProblems) {
  auto mark = [](gltest::Rgba c) { return c.r > 200 && c.g < 130 && c.b > 150; };
  auto amber = [](gltest::Rgba c) { return c.r > 230 && c.g > 180 && c.g < 200 && c.b < 100; };  // not the beard lane
  const TimelineLayout& t = overlay_.timeline();
  const int lane_y = t.y + t.wave_height + 1;  // the top of the strip's lanes, clear of the labels
  view_.selected_track = 11;  // beard.x: keys at rows 0, 100 and 300
  ASSERT_EQ(render_frame_at(200, swap_buffers), FrameResult::Presented);
  overlay_.draw(view_);
  const gltest::Frame marked = drawn();
  keep_on_failure(marked, "marked");
  for (int row : {100, 300}) {
    const int x = static_cast<int>(timeline_x_of(t, 1440, row));
    EXPECT_TRUE(mark(marked.at(x, lane_y))) << "row " << row << ": " << marked.at(x, lane_y);
  }
  EXPECT_FALSE(mark(marked.at(static_cast<int>(timeline_x_of(t, 1440, 400)), lane_y)));  // back.x's key
  EXPECT_EQ(marked.count(amber), 0);

  const std::vector<std::string> problems = {"hall.photo/05.JPG is missing; back.n shows it from 0s"};
  view_.photo_problems = &problems;
  ASSERT_EQ(render_frame_at(200, swap_buffers), FrameResult::Presented);
  overlay_.draw(view_);
  EXPECT_GT(drawn().count(amber), 20);
  view_.overlay_shown = false;
  ASSERT_EQ(render_frame_at(200, swap_buffers), FrameResult::Presented);
  overlay_.draw(view_);
  EXPECT_EQ(drawn().count(amber), 0);
  view_.text_gone = true;
  ASSERT_EQ(render_frame_at(200, swap_buffers), FrameResult::Presented);
  overlay_.draw(view_);
  EXPECT_GT(drawn().count(amber), 20);
}

}  // namespace
