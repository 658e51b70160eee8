#pragma once
// The placement of one glyph, as the font gives it and the glyph lists use it.

struct GlyphMetrics {  // em units (the em square is 1.0)
  float black_box_x, black_box_y;
  float origin_x, origin_y;
  float advance_x, advance_y;
};
