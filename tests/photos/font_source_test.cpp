// The loading font as the system has it: fontconfig's choice and FreeType's outlines, in em units.
#include "photos/font_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace {

class LoadingFont : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = find_loading_font();
    ASSERT_FALSE(file_.path.empty()) << "fontconfig offers no font (fonts-dejavu-core is installed by scripts/deps.sh)";
    font_ = OutlineFont::open(file_);
    ASSERT_NE(font_, nullptr) << file_.path;
  }
  LoadingFontFile file_;
  std::unique_ptr<OutlineFont> font_;
};

double filled_area(const GlyphShape& g) {
  double sum = 0;
  for (const Contour& c : g.contours) sum += contour_area(c);
  return std::fabs(sum);
}

}  // namespace

TEST(LoadingCodePoint, OnlyXYZAreRemappedAndOnlyWithoutWebdings) {
  struct Case {
    uint8_t code;
    bool webdings;
    char32_t expected;
  };
  const Case cases[] = {
      {'x', false, SYMBOL_FOR_X}, {'y', false, SYMBOL_FOR_Y}, {'z', false, SYMBOL_FOR_Z},
      {'X', false, U'X'},         {'a', false, U'a'},         {0xE9, false, U'\u00E9'},
      {0, false, 0},              {'x', true, U'x'},          {'z', true, U'z'},
  };
  for (const Case& c : cases) EXPECT_EQ(loading_code_point(c.code, c.webdings), c.expected) << int(c.code);
  EXPECT_NE(SYMBOL_FOR_X, SYMBOL_FOR_Y);
  EXPECT_NE(SYMBOL_FOR_Y, SYMBOL_FOR_Z);
}

TEST_F(LoadingFont, IsWebdingsOrDejaVuSans) {
  if (file_.webdings) {
    EXPECT_EQ(font_->family().rfind("Webdings", 0), 0u) << font_->family();
  } else {
    EXPECT_EQ(font_->family(), "DejaVu Sans") << file_.path;
  }
}

TEST_F(LoadingFont, TheThreeLoadingSymbolsExistAndDiffer) {
  GlyphShape x = font_->glyph('x'), y = font_->glyph('y'), z = font_->glyph('z');
  for (const GlyphShape* g : {&x, &y, &z}) {
    ASSERT_TRUE(g->found);
    EXPECT_FALSE(g->contours.empty());
    EXPECT_GT(g->metrics.advance_x, 0.3f);  // em units, not font units or pixels
    EXPECT_LT(g->metrics.advance_x, 1.5f);
    EXPECT_GT(g->metrics.black_box_y, 0.3f);
    EXPECT_LT(g->metrics.black_box_y, 1.5f);
    EXPECT_EQ(g->metrics.advance_y, 0.0f);
  }
  double ax = filled_area(x), ay = filled_area(y), az = filled_area(z);
  EXPECT_GT(ax, 0.05);
  EXPECT_GT(az, ax * 1.2);  // the full circle has more ink than a half-filled one
  // The two half circles are mirror images: equal ink, different sides.
  EXPECT_NEAR(ax, ay, ax * 0.05);
  auto ink_centre_x = [](const GlyphShape& g) {
    GlyphMesh mesh = make_glyph_mesh(g.contours, 0.1f, g.fill_on_right);
    double moment = 0, area = 0;
    for (size_t i = 0; i < mesh.front.size(); i += 3) {
      const Vertex3* t = &mesh.front[i];
      double a = 0.5 * ((t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[1].y - t[0].y) * (t[2].x - t[0].x));
      moment += a * (t[0].x + t[1].x + t[2].x) / 3;
      area += a;
    }
    return moment / area - (g.metrics.origin_x + g.metrics.black_box_x / 2);
  };
  if (!file_.webdings) {
    EXPECT_LT(ink_centre_x(y), -0.02);  // ◐: ink on the left
    EXPECT_GT(ink_centre_x(x), 0.02);   // ◑: ink on the right
  }
}

TEST_F(LoadingFont, MetricsAreInEmUnitsAndMatchTheOutline) {
  GlyphShape a = font_->glyph('A');
  ASSERT_TRUE(a.found);
  if (!file_.webdings) {
    EXPECT_NEAR(a.metrics.advance_x, 1401.0f / 2048.0f, 1e-6f);  // DejaVu Sans "A"
  }
  double xmin = 1e9, xmax = -1e9, ymin = 1e9, ymax = -1e9;
  for (const Contour& c : a.contours) {
    for (const Point2& p : c) {
      xmin = std::min(xmin, p.x), xmax = std::max(xmax, p.x);
      ymin = std::min(ymin, p.y), ymax = std::max(ymax, p.y);
    }
  }
  EXPECT_NEAR(a.metrics.origin_x, xmin, 1e-4);
  EXPECT_NEAR(a.metrics.origin_y, ymax, 1e-4);  // the black box's upper left corner
  EXPECT_NEAR(a.metrics.black_box_x, xmax - xmin, 1e-4);
  EXPECT_NEAR(a.metrics.black_box_y, ymax - ymin, 1e-4);
}

TEST_F(LoadingFont, TessellationCoversTheOutlineOfEveryGlyph) {
  int found = 0;
  for (int c = 0; c < 256; ++c) {
    GlyphShape g = font_->glyph(static_cast<uint8_t>(c));
    if (!g.found) continue;
    ++found;
    GlyphMesh mesh = make_glyph_mesh(g.contours, 0.1f, g.fill_on_right);
    if (g.contours.empty()) {
      EXPECT_TRUE(mesh.empty()) << c;  // space and friends: advance only
      continue;
    }
    // Letters whose contours overlap would make the signed sum exceed the union; DejaVu's do
    // not, so the filled area must equal the outline's.
    EXPECT_NEAR(front_area(mesh), filled_area(g), 1e-3 + 1e-3 * filled_area(g)) << "code " << c;
  }
  EXPECT_GT(found, 180);  // printable ASCII and Latin-1
}

TEST_F(LoadingFont, ControlCodesHaveNoGlyph) {
  EXPECT_FALSE(font_->glyph(1).found);
  EXPECT_FALSE(font_->glyph(0).found);
}

TEST(OutlineFontOpen, MissingOrBrokenFilesGiveNoFont) {
  EXPECT_EQ(OutlineFont::open(LoadingFontFile{}), nullptr);
  EXPECT_EQ(OutlineFont::open(LoadingFontFile{"/nonexistent/font.ttf", 0, false}), nullptr);
  std::string junk = ::testing::TempDir() + "not_a_font.ttf";
  std::ofstream(junk) << "this is not a font";
  EXPECT_EQ(OutlineFont::open(LoadingFontFile{junk, 0, false}), nullptr);
}
