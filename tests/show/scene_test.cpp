// The scene, rendered offscreen and read back: where each layer lands, in what colour, with which
// texture, in what order, and what "happy" does. Expected outlines come from expected_view.h.
#include <GL/gl.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include "app/swap_buffers.h"
#include "show/scene.h"
#include "tests/show/expected_view.h"
#include "tests/support/gl_harness.h"

namespace {

using expected::Layer;
using gltest::Frame;
using gltest::Rgba;

constexpr Rgba BLACK{0, 0, 0, 255};
constexpr Rgba WHITE{255, 255, 255, 255};
constexpr Rgba RED{255, 0, 0, 255};
constexpr Rgba GREEN{0, 255, 0, 255};
constexpr Rgba BLUE{0, 0, 255, 255};

// Writes the non-zero values of a layer as constant tracks (a missing track reads 0 anyway).
void write_layer(const std::string& name, const Layer& l) {
  const std::pair<const char*, float> fields[] = {
      {"n", l.n},         {"x", l.x},       {"y", l.y},       {"r", l.r},       {"g", l.g},
      {"b", l.b},         {"scale", l.scale}, {"rotx", l.rotx}, {"roty", l.roty}, {"rotz", l.rotz}};
  for (const auto& [suffix, v] : fields) {
    if (v != 0) gltest::write_constant_track(name + "." + suffix, v);
  }
}

// A show of the back layer alone: "beard", whose missing tracks would put a black square over the
// middle, is shrunk to nothing.
void write_back_only(const Layer& l) {
  write_layer("back", l);
  gltest::write_constant_track("beard.scale", -1.0f);
}

// A 2 × 2 texture, nearest-neighbour: `bottom` is its first (bottom) row, left texel first.
void upload_texture(GLuint name, Rgba bottom_left, Rgba bottom_right, Rgba top_left, Rgba top_right) {
  const Rgba texels[4] = {bottom_left, bottom_right, top_left, top_right};
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  glBindTexture(GL_TEXTURE_2D, 0);
}
void upload_solid_texture(GLuint name, Rgba colour) { upload_texture(name, colour, colour, colour, colour); }

auto is(Rgba colour) {
  return [colour](Rgba c) { return gltest::near(c, colour); };
}

class SceneTest : public gltest::GlTest {
 protected:
  expected::Screen screen() const { return expected::WIDE; }
  ScreenSize screen_size() const override { return {screen().width, screen().height}; }

  // Binds the tracks written so far and presents one frame at `row`.
  Frame render(double row = 0.0) {
    bind_tracks();
    const uint64_t before = presented_frames();
    EXPECT_EQ(render_frame_at(row, swap_buffers), FrameResult::Presented);
    EXPECT_EQ(presented_frames(), before + 1) << "one frame, presented once";
    return presented();
  }
  // The screen pixel of a point of a layer's own 2 × 2 quad.
  gltest::Rgba at_layer_point(const Frame& frame, const Layer& l, double qx, double qy) {
    const expected::Point p = expected::to_pixels(screen(), expected::place(l, {qx, qy, 0}));
    return frame.at(static_cast<int>(p.x), static_cast<int>(p.y));
  }

  gltest::TempDir folder;  // the show folder of each test, and the working directory
};

// ---------------------------------------------------------------------------------------------
// Missing tracks

TEST_F(SceneTest, AllTracksMissingDrawABlackSquareTwoUnitsWideAtDepthFourCentred) {
  // Black on black cannot be seen, so fragments are drawn inverted for this test (a clear is not
  // subject to the logic op): the square's silhouette turns white, its geometry unchanged.
  glEnable(GL_COLOR_LOGIC_OP);
  glLogicOp(GL_COPY_INVERTED);
  const Frame frame = render();
  glDisable(GL_COLOR_LOGIC_OP);
  // Alpha is inverted too; the colour channels tell where the square is.
  const auto white = [](Rgba c) { return c.r == 255 && c.g == 255 && c.b == 255; };

  // 45° vertical field of view: at depth 4 the picture spans ±4·tan(22.5°) up and that times the
  // aspect across, so a 2-unit square fills 1/(4·tan 22.5°) of each half-extent.
  const double half_height = 4 * std::tan(expected::radians(22.5));  // 1.6569
  const double half_width = half_height * 640.0 / 360.0;             // 2.9455
  const double left = 320 - 320 / half_width, right = 320 + 320 / half_width;
  const double top = 180 - 180 / half_height, bottom = 180 + 180 / half_height;
  const gltest::Rect square = frame.bounds(white);
  EXPECT_NEAR(square.x, left, 1.0);
  EXPECT_NEAR(square.right(), right, 1.0);
  EXPECT_NEAR(square.y, top, 1.0);
  EXPECT_NEAR(square.bottom(), bottom, 1.0);
  EXPECT_EQ(expected::misplaced_pixels(frame, expected::outline(screen(), {}), white), 0);
  EXPECT_EQ(frame.at(5, 5), BLACK) << "outside the square the clear colour stays";
}

TEST_F(SceneTest, AllLayerTracksMissingShowABlackSquareOnTheBackdrop) {
  gltest::write_constant_track("happy", 1.0f);
  const Frame frame = render();
  EXPECT_EQ(expected::misplaced_pixels(frame, expected::outline(screen(), {}), is(BLACK)), 0);
  EXPECT_EQ(frame.at(320, 180), BLACK);
  EXPECT_EQ(frame.at(5, 5), WHITE);
}

// ---------------------------------------------------------------------------------------------
// Colour and translation

TEST_F(SceneTest, LayerColourComesFromItsRgbTracks) {
  struct Case {
    float r, g, b;
    Rgba expected;
  };
  const Case cases[] = {
      {1, 0, 0, RED}, {0, 1, 0, GREEN}, {0, 0, 1, BLUE}, {1, 0.5f, 0.25f, {255, 128, 64, 255}}, {1, 1, 1, WHITE},
  };
  for (const Case& c : cases) {
    gltest::TempDir show;
    write_back_only({.r = c.r, .g = c.g, .b = c.b});
    const Frame frame = render();
    EXPECT_TRUE(gltest::near(frame.at(320, 180), c.expected)) << frame.at(320, 180) << " for " << c.expected;
    EXPECT_EQ(frame.at(5, 5), BLACK);
  }
}

TEST_F(SceneTest, TranslationMovesTheLayerInTheViewPlaneAtDepthFour) {
  const Layer cases[] = {
      {.x = 1, .r = 1}, {.y = 1, .r = 1}, {.x = -1.5f, .y = -0.5f, .r = 1}, {.x = 2.95f, .r = 1}, {.x = 10, .r = 1},
  };
  for (const Layer& l : cases) {
    gltest::TempDir show;
    write_back_only(l);
    const Frame frame = render();
    EXPECT_EQ(expected::misplaced_pixels(frame, expected::outline(screen(), l), is(RED)), 0)
        << "x " << l.x << ", y " << l.y;
    keep_on_failure(frame, "x" + std::to_string(l.x) + "_y" + std::to_string(l.y));
  }
}

TEST_F(SceneTest, XOf2Point95PutsTheLayerCentreOnTheRightEdge) {
  write_back_only({.x = 2.95f, .r = 1});
  const Frame frame = render();
  // The left half of the square is visible; its left edge is one unit left of the centre.
  const gltest::Rect visible = frame.bounds_of(RED);
  EXPECT_EQ(visible.right(), 640);
  const double unit = 320 / expected::half_width_at(screen(), 4);
  EXPECT_NEAR(visible.x, 640 - unit, 2.0);
}

// ---------------------------------------------------------------------------------------------
// Rotation and scale

TEST_F(SceneTest, RotationsAndScaleApplyInTheOrderTRxRyRzS) {
  const Layer cases[] = {
      {.r = 1, .rotz = 30},
      {.r = 1, .rotx = 50},
      {.r = 1, .roty = -60},
      {.r = 1, .rotx = 200},
      {.r = 1, .scale = 0.5f},
      {.x = 0.5f, .y = -0.3f, .r = 1, .scale = -0.25f, .rotx = 35, .roty = 50, .rotz = 20},
      {.x = -1, .y = 0.5f, .r = 1, .scale = 0.3f, .rotx = -40, .roty = 25, .rotz = 70},
  };
  for (const Layer& l : cases) {
    gltest::TempDir show;
    write_back_only(l);
    const Frame frame = render();
    EXPECT_EQ(expected::misplaced_pixels(frame, expected::outline(screen(), l), is(RED)), 0)
        << "rotx " << l.rotx << ", roty " << l.roty << ", rotz " << l.rotz << ", scale " << l.scale;
  }
}

TEST_F(SceneTest, TheRotationOrderTestTellsOrdersApart) {
  // The combined cases above would pass for a wrong order only if the outlines agreed; they don't.
  const Layer l{.x = 0.5f, .y = -0.3f, .r = 1, .scale = -0.25f, .rotx = 35, .roty = 50, .rotz = 20};
  write_back_only(l);
  const Frame frame = render();
  auto reversed = expected::outline(screen(), l);
  {
    // Rz · Ry · Rx · S: what drawing the rotations in the reverse order would give.
    const expected::Vec3 quad[4] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    for (int i = 0; i < 4; ++i) {
      const double s = l.scale + 1.0;
      expected::Vec3 p{quad[i].x * s, quad[i].y * s, 0};
      p = expected::rotate_z(expected::rotate_y(expected::rotate_x(p, l.rotx), l.roty), l.rotz);
      reversed[i] = expected::to_pixels(screen(), {p.x + l.x, p.y + l.y, p.z - 4});
    }
  }
  EXPECT_GT(expected::misplaced_pixels(frame, reversed, is(RED)), 100);
  EXPECT_EQ(expected::misplaced_pixels(frame, expected::outline(screen(), l), is(RED)), 0);
}

TEST_F(SceneTest, EdgeOnLayersVanish) {
  const Layer cases[] = {{.r = 1, .rotx = 90}, {.r = 1, .rotx = -90}, {.r = 1, .roty = 90}, {.r = 1, .scale = -1}};
  for (const Layer& l : cases) {
    gltest::TempDir show;
    write_back_only(l);
    EXPECT_EQ(render().count_of(RED), 0) << "rotx " << l.rotx << ", roty " << l.roty << ", scale " << l.scale;
  }
}

// With a texture of four coloured quadrants the layer's turn and mirroring can be seen.
TEST_F(SceneTest, TurnsAndMirrorsMoveTheQuadrantsOfTheTexture) {
  constexpr Rgba YELLOW{255, 255, 0, 255};
  struct Case {
    Layer layer;
    Rgba top_left, top_right, bottom_left, bottom_right;  // of the square as it appears on screen
  };
  const Case cases[] = {
      {{}, BLUE, YELLOW, RED, GREEN},                    // upright: t = 0 is the bottom edge
      {{.scale = -2}, GREEN, RED, YELLOW, BLUE},         // s = −1: turned through 180°
      {{.rotz = 90}, YELLOW, GREEN, BLUE, RED},          // a quarter turn counter-clockwise
      {{.rotx = 180}, RED, GREEN, BLUE, YELLOW},         // the back face, mirrored top to bottom
      {{.roty = 180}, YELLOW, BLUE, GREEN, RED},         // mirrored left to right
  };
  for (const Case& c : cases) {
    gltest::TempDir show;
    Layer l = c.layer;
    l.n = 5, l.r = 1, l.g = 1, l.b = 1;
    write_back_only(l);
    upload_texture(5, RED, GREEN, BLUE, YELLOW);
    const Frame frame = render();
    // Screen positions, independent of the layer's transform: the square stays where it was.
    const Layer upright{};
    EXPECT_EQ(at_layer_point(frame, upright, -0.5, 0.5), c.top_left) << "scale " << l.scale << " rotz " << l.rotz;
    EXPECT_EQ(at_layer_point(frame, upright, 0.5, 0.5), c.top_right);
    EXPECT_EQ(at_layer_point(frame, upright, -0.5, -0.5), c.bottom_left);
    EXPECT_EQ(at_layer_point(frame, upright, 0.5, -0.5), c.bottom_right);
  }
}

// ---------------------------------------------------------------------------------------------
// Order of painting

struct Tilts {
  float back_rotx, back_roty, beard_rotx, beard_roty;
};

class LayerOrderTest : public SceneTest, public ::testing::WithParamInterface<Tilts> {};

TEST_P(LayerOrderTest, BeardCoversBackWhereTheyOverlapAndBothCoverTheBackdrop) {
  const Tilts t = GetParam();
  const Layer back{.x = -0.5f, .r = 1, .rotx = t.back_rotx, .roty = t.back_roty};
  const Layer beard{.x = 0.5f, .g = 1, .rotx = t.beard_rotx, .roty = t.beard_roty};
  write_layer("back", back);
  write_layer("beard", beard);
  gltest::write_constant_track("happy", 1.0f);
  const Frame frame = render();
  const auto beard_outline = expected::outline(screen(), beard);
  const auto back_outline = expected::outline(screen(), back);
  EXPECT_EQ(expected::misplaced_pixels(frame, beard_outline, is(GREEN)), 0) << "beard is whole, on top";
  int wrong = 0;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      const expected::Point p{x + 0.5, y + 0.5};
      const double in_beard = expected::inside_by(beard_outline, p), in_back = expected::inside_by(back_outline, p);
      if (std::fabs(in_beard) < 1 || std::fabs(in_back) < 1 || in_beard > 0) continue;
      wrong += frame.at(x, y) != (in_back > 0 ? RED : WHITE);
    }
  }
  EXPECT_EQ(wrong, 0) << "back shows beside beard, the backdrop everywhere else";
}

INSTANTIATE_TEST_SUITE_P(Tilted, LayerOrderTest,
                         ::testing::Values(Tilts{0, 0, 0, 0}, Tilts{-60, 0, 60, 0}, Tilts{0, 70, 0, -70},
                                           Tilts{0, -70, 0, 70}, Tilts{45, 45, -30, 20}));

TEST_F(SceneTest, EachLayerStartsFromTheIdentity) {
  write_layer("back", {.x = 1.5f, .r = 1, .scale = 0.5f, .rotz = 45});
  write_layer("beard", {.g = 1});
  gltest::write_constant_track("happy", 1.0f);
  const Frame frame = render();
  EXPECT_EQ(expected::misplaced_pixels(frame, expected::outline(screen(), {.g = 1}), is(GREEN)), 0)
      << "beard inherits neither the backdrop's nor back's transform";
}

// ---------------------------------------------------------------------------------------------
// "happy"

TEST_F(SceneTest, HappyShowsTheBackdropWhenItTruncatesToOne) {
  struct Case {
    float happy;
    bool backdrop;
  };
  const Case cases[] = {{0.999f, false}, {1.0f, true}, {1.999f, true}, {3.0f, false}, {-0.5f, false},
                        {-1.0f, false},  {0.0f, false}};
  for (const Case& c : cases) {
    gltest::TempDir show;
    gltest::write_constant_track("happy", c.happy);
    const Frame frame = render();
    EXPECT_EQ(frame.at(5, 5), c.backdrop ? WHITE : BLACK) << "happy " << c.happy;
    EXPECT_EQ(frame.at(635, 355), c.backdrop ? WHITE : BLACK) << "happy " << c.happy;
  }
}

TEST_F(SceneTest, TheBackdropCoversTheWholeViewInTexture17) {
  gltest::write_constant_track("happy", 1.0f);
  write_layer("back", {.scale = -1});  // both layers shrunk to nothing
  write_layer("beard", {.scale = -1});
  upload_solid_texture(17, {0, 128, 255, 255});
  const Frame frame = render();
  EXPECT_EQ(frame.count_of({0, 128, 255, 255}), 640 * 360);
}

TEST_F(SceneTest, HappyAtTwoEndsTheShowWithoutPresentingThatFrame) {
  for (float happy : {2.0f, 2.5f, 2.999f}) {
    gltest::TempDir show;
    write_back_only({.r = 1});
    const Frame last = render();  // a frame of the show before its end
    const uint64_t presented_before = presented_frames();
    gltest::write_constant_track("happy", happy);
    bind_tracks();
    EXPECT_EQ(render_frame_at(0.0, swap_buffers), FrameResult::EndOfShow) << "happy " << happy;
    EXPECT_EQ(presented_frames(), presented_before) << "happy " << happy;
    EXPECT_EQ(presented(), last) << "the last presented frame stays on screen";
    EXPECT_EQ(drawn().count_of(RED), 0) << "no layer of the ending frame is drawn";
  }
}

// ---------------------------------------------------------------------------------------------
// Textures

TEST_F(SceneTest, LayerTextureNameIsTheNTrackTruncatedTowardZero) {
  struct Case {
    float n;
    GLuint bound;
  };
  const Case cases[] = {
      {17.9f, 17}, {5.9f, 5}, {5.0f, 5}, {0.999f, 0}, {-0.5f, 0},
      {4294967808.0f, 512},  // 2^32 + 512: only the low 32 bits name the texture
      {-1.0f, 0xFFFFFFFFu},  // −1 in 64 bits, whose low 32 bits are all ones
  };
  const Rgba colours[] = {{10, 20, 30, 255}, {40, 50, 60, 255}, {70, 80, 90, 255}, {100, 110, 120, 255},
                          {130, 140, 150, 255}};
  const GLuint names[] = {0, 5, 17, 512, 0xFFFFFFFFu};
  for (const Case& c : cases) {
    gltest::TempDir show;
    for (int i = 0; i < 5; ++i) upload_solid_texture(names[i], colours[i]);
    write_back_only({.n = c.n, .r = 1, .g = 1, .b = 1});
    const Frame frame = render();
    Rgba want{};
    for (int i = 0; i < 5; ++i) if (names[i] == c.bound) want = colours[i];
    EXPECT_EQ(frame.at(320, 180), want) << "n " << c.n << " should bind texture " << c.bound;
  }
}

TEST_F(SceneTest, AnUnloadedTextureNameDrawsInTheLayersColour) {
  upload_solid_texture(5, GREEN);
  write_layer("back", {.n = 30, .r = 1, .g = 0.5f});
  write_layer("beard", {.n = 5, .x = 2, .r = 1, .g = 1, .b = 1});
  const Frame frame = render();
  EXPECT_TRUE(gltest::near(frame.at(320, 180), {255, 128, 0, 255})) << frame.at(320, 180);
  const expected::Point beard_centre = expected::to_pixels(screen(), {2, 0, -4});
  EXPECT_EQ(frame.at(static_cast<int>(beard_centre.x), static_cast<int>(beard_centre.y)), GREEN);
}

TEST_F(SceneTest, TextureColourIsModulatedByTheLayerColour) {
  upload_solid_texture(5, {255, 255, 255, 255});
  write_back_only({.n = 5, .r = 1, .g = 0.5f, .b = 0});
  EXPECT_TRUE(gltest::near(render().at(320, 180), {255, 128, 0, 255}));
}

TEST_F(SceneTest, TexelAlphaLetsTheBackdropShowThrough) {
  upload_solid_texture(5, {255, 0, 0, 128});
  write_back_only({.n = 5, .r = 1, .g = 1, .b = 1});
  gltest::write_constant_track("happy", 1.0f);
  // Half red over white. (The framebuffer's alpha is blended as well, to 0.75; no one sees it.)
  const Rgba centre = render().at(320, 180);
  EXPECT_TRUE(gltest::near(centre, {255, 127, 127, 191}, 3)) << centre;
}

// ---------------------------------------------------------------------------------------------
// A function of the row alone

void write_animated_show() {
  gltest::write_track_file("back.x", {{0, -1, Linear}, {100, 1, Linear}});
  gltest::write_track_file("back.rotz", {{0, 0, Smooth}, {100, 360, Step}});
  gltest::write_track_file("back.r", {{0, 1, Step}});
  gltest::write_track_file("beard.y", {{0, 0.5f, Ramp}, {100, -0.5f, Step}});
  gltest::write_track_file("beard.g", {{0, 1, Step}});
  gltest::write_track_file("beard.scale", {{0, -0.5f, Linear}, {80, 0.2f, Step}});
  gltest::write_track_file("happy", {{0, 0, Step}, {30, 1, Step}});
}

TEST_F(SceneTest, TwoFramesAtTheSameRowAreIdentical) {
  write_animated_show();
  bind_tracks();
  for (double row : {12.25, 47.5}) {
    ASSERT_EQ(render_frame_at(row, swap_buffers), FrameResult::Presented);
    const Frame first = presented();
    ASSERT_EQ(render_frame_at(row + 13.0, swap_buffers), FrameResult::Presented);
    EXPECT_NE(presented(), first) << "the show moves between rows";
    ASSERT_EQ(render_frame_at(row, swap_buffers), FrameResult::Presented);
    EXPECT_EQ(presented(), first) << "row " << row;
  }
}

TEST_F(SceneTest, NoStateCarriesOverFromWhatWasDrawnBefore) {
  write_animated_show();
  const Frame clean = render(40.0);
  // Leave behind what a careless caller might: a moved matrix, another colour, texture, clear colour.
  upload_solid_texture(9, GREEN);
  glBindTexture(GL_TEXTURE_2D, 9);
  glTranslatef(1, 1, -3);
  glRotatef(30, 0, 0, 1);
  glColor4f(0.2f, 0.3f, 0.4f, 0.5f);
  glClearColor(1, 0, 1, 1);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_TEXTURE);  // the frame makes the modelview matrix current itself
  EXPECT_EQ(render(40.0), clean);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

TEST_F(SceneTest, AFrameReadsNoFile) {
  write_animated_show();
  bind_tracks();
  ASSERT_EQ(render_frame_at(40.0, swap_buffers), FrameResult::Presented);
  const Frame before = presented();
  std::filesystem::remove_all("kestos");
  ASSERT_EQ(render_frame_at(40.0, swap_buffers), FrameResult::Presented);
  EXPECT_EQ(presented(), before) << "the tracks were all read when they were bound";
}

TEST_F(SceneTest, SadDrivesNothing) {
  write_animated_show();
  const Frame without = render(40.0);
  gltest::write_track_file("sad", {{0, 0, Linear}, {100, 1000, Step}});
  EXPECT_EQ(render(40.0), without);
}

// ---------------------------------------------------------------------------------------------
// A letterboxed screen

class LetterboxedSceneTest : public SceneTest {
 protected:
  ScreenSize screen_size() const override { return {1024, 768}; }
};

TEST_F(LetterboxedSceneTest, TheBackdropFillsTheBandAndTheBarsStayBlack) {
  gltest::write_constant_track("happy", 1.0f);
  write_back_only({.r = 1, .rotz = 20});
  const Frame frame = render();
  EXPECT_EQ(frame.bounds_of(WHITE), (gltest::Rect{0, 96, 1024, 576}));
  EXPECT_EQ(frame.at(512, 50), BLACK);
  EXPECT_EQ(frame.at(512, 720), BLACK);
  EXPECT_EQ(expected::misplaced_pixels(frame, expected::outline(expected::FOUR_THIRDS, {.r = 1, .rotz = 20}), is(RED)),
            0);
}

}  // namespace
