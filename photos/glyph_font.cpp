// The loading screen's glyph font: one 3-D display list per character code, each ending with a
// move by the glyph's advance so that glCallLists lays a string out from left to right.
#include "photos/glyph_font.h"

#include <GL/gl.h>

#include <cstring>

#include "photos/font_source.h"
#include "photos/glyph_outline.h"

namespace {

GlyphFont font;

void emit_triangles(const std::vector<Vertex3>& vertices, float nz) {
  glNormal3f(0, 0, nz);
  for (const Vertex3& v : vertices) glVertex3f(v.x, v.y, v.z);
}

void compile_glyph(uint32_t list, const GlyphMesh& mesh, const GlyphMetrics& metrics) {
  glNewList(list, GL_COMPILE);
  if (!mesh.empty()) {
    glBegin(GL_TRIANGLES);
    emit_triangles(mesh.front, 1);
    emit_triangles(mesh.back, -1);
    glEnd();
    glBegin(GL_QUADS);
    for (const WallQuad& q : mesh.walls) {
      glNormal3f(q.normal.x, q.normal.y, q.normal.z);
      for (const Vertex3& v : q.corners) glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
  }
  glTranslatef(metrics.advance_x, metrics.advance_y, 0);
  glEndList();
}

}  // namespace

void build_glyph_font_from(const LoadingFontFile& file) {
  font = GlyphFont{};
  font.list_base = glGenLists(256);
  if (font.list_base == 0) return;  // no lists: glCallLists then draws nothing
  std::unique_ptr<OutlineFont> outlines = OutlineFont::open(file);
  for (int c = 0; c < 256; ++c) {
    GlyphShape shape;
    if (outlines) shape = outlines->glyph(static_cast<uint8_t>(c));
    if (!shape.found) {
      // Lists from glGenLists are already empty; a missing glyph draws and moves nothing.
      continue;
    }
    font.metrics[c] = shape.metrics;
    compile_glyph(font.list_base + c, make_glyph_mesh(shape.contours, GLYPH_EXTRUSION, shape.fill_on_right),
                  shape.metrics);
  }
}

void build_glyph_font() { build_glyph_font_from(find_loading_font()); }

const GlyphFont& glyph_font() { return font; }

void draw_glyph_text(const char* text) {
  if (!text) return;
  GLsizei n = static_cast<GLsizei>(std::strlen(text));
  float width = 0.0f;
  for (GLsizei i = 0; i < n; ++i) width += font.metrics[static_cast<unsigned char>(text[i])].advance_x;
  glTranslatef(-width * 0.5f, 0, 0);  // stays on the matrix: the caller's origin moves with it
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glListBase(font.list_base);
  glCallLists(n, GL_UNSIGNED_BYTE, text);
  glPopAttrib();
}
