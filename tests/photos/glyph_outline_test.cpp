// Flattening and tessellation of glyph outlines, without GL.
#include "photos/glyph_outline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

Point2 conic_at(Point2 a, Point2 c, Point2 b, double t) {
  double u = 1 - t;
  return {u * u * a.x + 2 * u * t * c.x + t * t * b.x, u * u * a.y + 2 * u * t * c.y + t * t * b.y};
}

Point2 cubic_at(Point2 a, Point2 c1, Point2 c2, Point2 b, double t) {
  double u = 1 - t;
  return {u * u * u * a.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * b.x,
          u * u * u * a.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * b.y};
}

double distance_to_segment(Point2 p, Point2 a, Point2 b) {
  double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Largest distance from densely sampled curve points to the chord that replaces their piece.
template <typename Curve>
double worst_deviation(const Contour& chords, Curve curve, int n) {
  double worst = 0;
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k <= 16; ++k) {
      double t = (i + k / 16.0) / n;
      worst = std::max(worst, distance_to_segment(curve(t), chords[i], chords[(i + 1) % chords.size()]));
    }
  }
  return worst;
}

struct CurveCase {
  const char* name;
  Point2 p0, c1, c2, p1;  // c2 unused for conics
  double flatness;
};

const CurveCase curves[] = {
    {"quarter circle, em size", {0.5, 0}, {0.5, 0.5}, {0, 0.5}, {0, 0.5}, GLYPH_FLATNESS},
    {"tight bend", {0, 0}, {0.01, 0.9}, {0.02, 0.9}, {0.03, 0}, GLYPH_FLATNESS},
    {"coarse flatness", {0, 0}, {1, 1}, {2, -1}, {3, 0}, 0.05},
    {"tiny curve", {0, 0}, {0.001, 0.001}, {0.002, 0.001}, {0.003, 0}, GLYPH_FLATNESS},
};

}  // namespace

TEST(GlyphOutline, ConicsAreFlattenedWithinTheFlatness) {
  for (const CurveCase& c : curves) {
    ContourBuilder b(c.flatness);
    b.move_to(c.p0);
    b.conic_to(c.c1, c.p1);
    // Close through a point far away so the closing edge is a separate chord.
    b.line_to({-5, -5});
    std::vector<Contour> out = b.finish();
    ASSERT_EQ(out.size(), 1u) << c.name;
    int n = conic_chord_count(c.p0, c.c1, c.p1, c.flatness);
    ASSERT_EQ(out[0].size(), static_cast<size_t>(n) + 2) << c.name;
    Contour curve_part(out[0].begin(), out[0].begin() + n + 1);
    curve_part.push_back(c.p1);  // the chord list without the closing edge
    double worst = worst_deviation(curve_part, [&](double t) { return conic_at(c.p0, c.c1, c.p1, t); }, n);
    EXPECT_LE(worst, c.flatness) << c.name;
    // Not wastefully fine either: half the chords would break the bound, or there is only one.
    if (n > 2) {
      ContourBuilder coarse(4 * c.flatness);
      coarse.move_to(c.p0);
      coarse.conic_to(c.c1, c.p1);
      coarse.line_to({-5, -5});
      EXPECT_LT(coarse.finish()[0].size(), out[0].size()) << c.name;
    }
  }
}

TEST(GlyphOutline, CubicsAreFlattenedWithinTheFlatness) {
  for (const CurveCase& c : curves) {
    ContourBuilder b(c.flatness);
    b.move_to(c.p0);
    b.cubic_to(c.c1, c.c2, c.p1);
    b.line_to({-5, -5});
    std::vector<Contour> out = b.finish();
    ASSERT_EQ(out.size(), 1u) << c.name;
    int n = cubic_chord_count(c.p0, c.c1, c.c2, c.p1, c.flatness);
    ASSERT_EQ(out[0].size(), static_cast<size_t>(n) + 2) << c.name;
    Contour curve_part(out[0].begin(), out[0].begin() + n + 1);
    double worst =
        worst_deviation(curve_part, [&](double t) { return cubic_at(c.p0, c.c1, c.c2, c.p1, t); }, n);
    EXPECT_LE(worst, c.flatness) << c.name;
  }
}

TEST(GlyphOutline, StraightCurvesNeedOneChordAndBadInputIsBounded) {
  EXPECT_EQ(conic_chord_count({0, 0}, {0.5, 0.5}, {1, 1}, GLYPH_FLATNESS), 1);
  EXPECT_EQ(cubic_chord_count({0, 0}, {1, 0}, {2, 0}, {3, 0}, GLYPH_FLATNESS), 1);
  EXPECT_EQ(conic_chord_count({0, 0}, {1e30, 1e30}, {1, 0}, GLYPH_FLATNESS), 1024);
  EXPECT_EQ(conic_chord_count({0, 0}, {NAN, 0}, {1, 0}, GLYPH_FLATNESS), 1);  // nonsense: one chord
  EXPECT_EQ(conic_chord_count({0, 0}, {1, 1}, {2, 0}, 0.0), 1);
}

TEST(GlyphOutline, BuilderDropsRepeatsClosingPointsAndDegenerateContours) {
  ContourBuilder b;
  b.move_to({0, 0});
  b.line_to({0, 0});  // repeated
  b.line_to({1, 0});
  b.line_to({1, 1});
  b.line_to({0, 0});  // closes onto the first point
  b.move_to({5, 5});  // a contour of two points encloses nothing
  b.line_to({6, 6});
  b.move_to({2, 2});
  b.line_to({3, 2});
  b.line_to({3, 3});
  std::vector<Contour> out = b.finish();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].size(), 3u);
  EXPECT_EQ(out[1].size(), 3u);
  EXPECT_DOUBLE_EQ(out[1][0].x, 2.0);
}

namespace {

Contour square(double x0, double y0, double side, bool clockwise) {
  Contour c{{x0, y0}, {x0 + side, y0}, {x0 + side, y0 + side}, {x0, y0 + side}};
  if (clockwise) std::reverse(c.begin(), c.end());
  return c;
}

}  // namespace

TEST(GlyphMesh, FillsByNonZeroWinding) {
  struct Case {
    const char* name;
    std::vector<Contour> contours;
    double area;
  };
  const Case cases[] = {
      {"one square", {square(0, 0, 1, true)}, 1.0},
      {"counter-clockwise square", {square(0, 0, 1, false)}, 1.0},
      {"square with a hole", {square(0, 0, 1, true), square(0.25, 0.25, 0.5, false)}, 0.75},
      {"overlapping squares, same direction", {square(0, 0, 1, true), square(0.5, 0, 1, true)}, 1.5},
      {"two apart", {square(0, 0, 1, true), square(2, 0, 0.5, true)}, 1.25},
  };
  for (const Case& c : cases) {
    GlyphMesh mesh = make_glyph_mesh(c.contours, 0.1f, true);
    EXPECT_NEAR(front_area(mesh), c.area, 1e-6) << c.name;
    EXPECT_EQ(mesh.front.size() % 3, 0u) << c.name;
    EXPECT_EQ(mesh.back.size(), mesh.front.size()) << c.name;
  }
}

TEST(GlyphMesh, ExtrudesTowardMinusZWithOutwardWalls) {
  GlyphMesh mesh = make_glyph_mesh({square(0, 0, 1, true)}, 0.1f, true);
  for (const Vertex3& v : mesh.front) EXPECT_EQ(v.z, 0.0f);
  for (const Vertex3& v : mesh.back) EXPECT_EQ(v.z, -0.1f);
  // Front triangles face +z, back triangles face −z.
  for (size_t i = 0; i < mesh.front.size(); i += 3) {
    const Vertex3 *f = &mesh.front[i], *k = &mesh.back[i];
    EXPECT_GT((f[1].x - f[0].x) * (f[2].y - f[0].y) - (f[1].y - f[0].y) * (f[2].x - f[0].x), 0);
    EXPECT_LT((k[1].x - k[0].x) * (k[2].y - k[0].y) - (k[1].y - k[0].y) * (k[2].x - k[0].x), 0);
  }
  ASSERT_EQ(mesh.walls.size(), 4u);
  for (const WallQuad& q : mesh.walls) {
    float cx = 0, cy = 0, zmin = 1, zmax = -1;
    for (const Vertex3& v : q.corners) {
      cx += v.x / 4;
      cy += v.y / 4;
      zmin = std::min(zmin, v.z);
      zmax = std::max(zmax, v.z);
    }
    EXPECT_EQ(zmin, -0.1f);
    EXPECT_EQ(zmax, 0.0f);
    // The normal points from the square's centre toward the wall.
    EXPECT_GT(q.normal.x * (cx - 0.5f) + q.normal.y * (cy - 0.5f), 0.4f);
    EXPECT_NEAR(std::hypot(q.normal.x, q.normal.y), 1.0f, 1e-6);
  }
  // PostScript contours run the other way; the normals follow.
  GlyphMesh ps = make_glyph_mesh({square(0, 0, 1, false)}, 0.1f, false);
  for (const WallQuad& q : ps.walls) {
    float cx = 0, cy = 0;
    for (const Vertex3& v : q.corners) cx += v.x / 4, cy += v.y / 4;
    EXPECT_GT(q.normal.x * (cx - 0.5f) + q.normal.y * (cy - 0.5f), 0.4f);
  }
}

TEST(GlyphMesh, NothingToFillGivesAnEmptyMesh) {
  EXPECT_TRUE(make_glyph_mesh({}, 0.1f, true).empty());
  EXPECT_NEAR(contour_area(square(0, 0, 2, false)), 4.0, 1e-12);
  EXPECT_NEAR(contour_area(square(0, 0, 2, true)), -4.0, 1e-12);
}
