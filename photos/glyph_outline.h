#pragma once
// A glyph outline as flat contours, and the 3-D mesh made from it: front face, back face and the
// side walls between them. Everything here is CPU-side so that it can be checked without GL.
#include <cstddef>
#include <vector>

struct Point2 {
  double x, y;
};

using Contour = std::vector<Point2>;  // closed: the last point joins the first

// Largest distance (em units) between a curve and the chords that replace it. The loading screen
// shows one em over about half the picture height, so 1/4096 em stays under a quarter of a pixel
// even on a 2160-line screen: no facets show.
inline constexpr double GLYPH_FLATNESS = 1.0 / 4096.0;

// Builds contours from the pieces of an outline (lines, quadratic and cubic Bézier curves), each
// curve cut into just enough equal-parameter chords to stay within `flatness`.
class ContourBuilder {
 public:
  explicit ContourBuilder(double flatness = GLYPH_FLATNESS) : flatness_(flatness) {}
  void move_to(Point2 p);
  void line_to(Point2 p);
  void conic_to(Point2 control, Point2 p);
  void cubic_to(Point2 control1, Point2 control2, Point2 p);
  // The finished contours: repeated points and a closing point equal to the first are dropped,
  // and contours left with fewer than three points are discarded.
  std::vector<Contour> finish();

 private:
  void close_current();
  double flatness_;
  Contour current_;
  std::vector<Contour> done_;
};

// Chords needed for a quadratic or cubic curve to stay within `flatness` of it.
int conic_chord_count(Point2 p0, Point2 control, Point2 p1, double flatness);
int cubic_chord_count(Point2 p0, Point2 c1, Point2 c2, Point2 p1, double flatness);

struct Vertex3 {
  float x, y, z;
};

struct WallQuad {  // one outline edge swept from the front face to the back face
  Vertex3 corners[4];
  Vertex3 normal;
};

struct GlyphMesh {
  std::vector<Vertex3> front;  // triangles at z = 0, counter-clockwise seen from +z
  std::vector<Vertex3> back;   // the same triangles at z = −depth, counter-clockwise seen from −z
  std::vector<WallQuad> walls;
  bool empty() const { return front.empty() && walls.empty(); }
};

// Fills the contours by the non-zero winding rule (GLU tessellator) and extrudes them by `depth`
// toward −z. `fill_on_right` tells which side of a contour's direction is inside (true for
// TrueType outlines); it only orients the wall normals. An outline that does not tessellate gives
// an empty mesh.
GlyphMesh make_glyph_mesh(const std::vector<Contour>& contours, float depth, bool fill_on_right);

// Area enclosed by the mesh's front triangles, and the signed area of contours (positive
// counter-clockwise); used to check tessellation against the outline.
double front_area(const GlyphMesh& mesh);
double contour_area(const Contour& contour);
