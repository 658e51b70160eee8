// Flattening of outline curves and the GLU tessellation that fills them.
//
// Curves are cut at equal parameter steps rather than adaptively: the chord error of a Bézier
// curve over a parameter step h is at most |B''| h² / 8, and |B''| is bounded by the control
// polygon, so the number of chords follows directly from the flatness and no recursion is needed.
#include "photos/glyph_outline.h"

#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

namespace {

// A glyph from a damaged font may hold huge coordinates; past this many chords per curve the
// extra points buy nothing visible.
constexpr int MAX_CHORDS = 1024;

double length(double x, double y) { return std::sqrt(x * x + y * y); }

int chords_for(double second_derivative_bound, double flatness) {
  if (!(second_derivative_bound > 0.0) || !(flatness > 0.0)) return 1;  // straight, or NaN
  double n = std::ceil(std::sqrt(second_derivative_bound / (8.0 * flatness)));
  if (!(n < MAX_CHORDS)) return MAX_CHORDS;
  return std::max(1, static_cast<int>(n));
}

}  // namespace

int conic_chord_count(Point2 p0, Point2 c, Point2 p1, double flatness) {
  // B''(t) = 2 (p0 − 2c + p1), constant.
  return chords_for(2.0 * length(p0.x - 2 * c.x + p1.x, p0.y - 2 * c.y + p1.y), flatness);
}

int cubic_chord_count(Point2 p0, Point2 c1, Point2 c2, Point2 p1, double flatness) {
  // B''(t) = 6 ((1 − t) a + t b): its length never exceeds 6 max(|a|, |b|).
  double a = length(p0.x - 2 * c1.x + c2.x, p0.y - 2 * c1.y + c2.y);
  double b = length(c1.x - 2 * c2.x + p1.x, c1.y - 2 * c2.y + p1.y);
  return chords_for(6.0 * std::max(a, b), flatness);
}

void ContourBuilder::move_to(Point2 p) {
  close_current();
  current_.push_back(p);
}

void ContourBuilder::line_to(Point2 p) {
  if (!current_.empty() && current_.back().x == p.x && current_.back().y == p.y) return;
  current_.push_back(p);
}

void ContourBuilder::conic_to(Point2 c, Point2 p) {
  Point2 p0 = current_.empty() ? c : current_.back();
  int n = conic_chord_count(p0, c, p, flatness_);
  for (int i = 1; i < n; ++i) {
    double t = static_cast<double>(i) / n, u = 1.0 - t;
    line_to({u * u * p0.x + 2 * u * t * c.x + t * t * p.x, u * u * p0.y + 2 * u * t * c.y + t * t * p.y});
  }
  line_to(p);
}

void ContourBuilder::cubic_to(Point2 c1, Point2 c2, Point2 p) {
  Point2 p0 = current_.empty() ? c1 : current_.back();
  int n = cubic_chord_count(p0, c1, c2, p, flatness_);
  for (int i = 1; i < n; ++i) {
    double t = static_cast<double>(i) / n, u = 1.0 - t;
    double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
    line_to({w0 * p0.x + w1 * c1.x + w2 * c2.x + w3 * p.x, w0 * p0.y + w1 * c1.y + w2 * c2.y + w3 * p.y});
  }
  line_to(p);
}

void ContourBuilder::close_current() {
  if (current_.size() > 1 && current_.back().x == current_.front().x &&
      current_.back().y == current_.front().y)
    current_.pop_back();
  if (current_.size() >= 3) done_.push_back(std::move(current_));
  current_.clear();
}

std::vector<Contour> ContourBuilder::finish() {
  close_current();
  return std::move(done_);
}

namespace {

// What the tessellator callbacks write into. Vertex coordinates live in a deque so that the
// pointers handed to GLU stay valid until the polygon ends.
struct Tessellation {
  std::deque<std::array<GLdouble, 3>> vertices;
  std::vector<Vertex3> triangles;
  bool failed = false;
};

void GLAPIENTRY on_begin(GLenum, void*) {}
void GLAPIENTRY on_edge_flag(GLboolean, void*) {}  // its presence makes GLU emit only GL_TRIANGLES
void GLAPIENTRY on_end(void*) {}

void GLAPIENTRY on_vertex(void* vertex, void* data) {
  auto* t = static_cast<Tessellation*>(data);
  auto* v = static_cast<GLdouble*>(vertex);
  t->triangles.push_back({static_cast<float>(v[0]), static_cast<float>(v[1]), 0.0f});
}

void GLAPIENTRY on_combine(GLdouble coords[3], void*[4], GLfloat[4], void** out, void* data) {
  auto* t = static_cast<Tessellation*>(data);
  t->vertices.push_back({coords[0], coords[1], coords[2]});
  *out = t->vertices.back().data();
}

void GLAPIENTRY on_error(GLenum, void* data) { static_cast<Tessellation*>(data)->failed = true; }

double signed_area2(const Vertex3& a, const Vertex3& b, const Vertex3& c) {
  return (static_cast<double>(b.x) - a.x) * (static_cast<double>(c.y) - a.y) -
         (static_cast<double>(b.y) - a.y) * (static_cast<double>(c.x) - a.x);
}

bool tessellate(const std::vector<Contour>& contours, Tessellation& t) {
  GLUtesselator* tess = gluNewTess();
  if (!tess) return false;
  gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(on_begin));
  gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<_GLUfuncptr>(on_edge_flag));
  gluTessCallback(tess, GLU_TESS_END_DATA, reinterpret_cast<_GLUfuncptr>(on_end));
  gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(on_vertex));
  gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(on_combine));
  gluTessCallback(tess, GLU_TESS_ERROR_DATA, reinterpret_cast<_GLUfuncptr>(on_error));
  gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
  gluTessNormal(tess, 0, 0, 1);

  gluTessBeginPolygon(tess, &t);
  for (const Contour& contour : contours) {
    gluTessBeginContour(tess);
    for (const Point2& p : contour) {
      t.vertices.push_back({p.x, p.y, 0.0});
      gluTessVertex(tess, t.vertices.back().data(), t.vertices.back().data());
    }
    gluTessEndContour(tess);
  }
  gluTessEndPolygon(tess);
  gluDeleteTess(tess);
  return !t.failed && t.triangles.size() % 3 == 0;
}

}  // namespace

GlyphMesh make_glyph_mesh(const std::vector<Contour>& contours, float depth, bool fill_on_right) {
  GlyphMesh mesh;
  if (contours.empty()) return mesh;
  Tessellation t;
  if (!tessellate(contours, t)) return mesh;

  mesh.front = std::move(t.triangles);
  for (size_t i = 0; i + 2 < mesh.front.size(); i += 3) {
    if (signed_area2(mesh.front[i], mesh.front[i + 1], mesh.front[i + 2]) < 0)
      std::swap(mesh.front[i + 1], mesh.front[i + 2]);
  }
  mesh.back.reserve(mesh.front.size());
  for (size_t i = 0; i + 2 < mesh.front.size(); i += 3) {
    for (size_t k : {i, i + 2, i + 1}) mesh.back.push_back({mesh.front[k].x, mesh.front[k].y, -depth});
  }

  for (const Contour& contour : contours) {
    for (size_t i = 0; i < contour.size(); ++i) {
      Point2 p0 = contour[i], p1 = contour[(i + 1) % contour.size()];
      double dx = p1.x - p0.x, dy = p1.y - p0.y, len = length(dx, dy);
      if (len == 0.0) continue;
      // Outward is to the left of the edge when the inside is on its right.
      float nx = static_cast<float>((fill_on_right ? -dy : dy) / len);
      float ny = static_cast<float>((fill_on_right ? dx : -dx) / len);
      Vertex3 a{float(p0.x), float(p0.y), 0}, b{float(p1.x), float(p1.y), 0};
      Vertex3 c{b.x, b.y, -depth}, d{a.x, a.y, -depth};
      WallQuad q = fill_on_right ? WallQuad{{a, b, c, d}, {nx, ny, 0}} : WallQuad{{a, d, c, b}, {nx, ny, 0}};
      mesh.walls.push_back(q);
    }
  }
  return mesh;
}

double front_area(const GlyphMesh& mesh) {
  double area = 0;
  for (size_t i = 0; i + 2 < mesh.front.size(); i += 3)
    area += 0.5 * signed_area2(mesh.front[i], mesh.front[i + 1], mesh.front[i + 2]);
  return area;
}

double contour_area(const Contour& contour) {
  double area = 0;
  for (size_t i = 0; i < contour.size(); ++i) {
    const Point2& a = contour[i];
    const Point2& b = contour[(i + 1) % contour.size()];
    area += a.x * b.y - b.x * a.y;
  }
  return 0.5 * area;
}
