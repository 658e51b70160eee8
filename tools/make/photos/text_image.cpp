#include "tools/make/photos/text_image.h"

#include <glib.h>

#include <algorithm>
#include <cmath>

using vips::VImage;

namespace {

// The text's coverage, one band: white where the letters are.
VImage set_text(const std::string& text, double size, int width, bool bold) {
  gchar* escaped = g_markup_escape_text(text.c_str(), -1);
  const std::string markup = escaped;
  g_free(escaped);
  char font[128];
  g_snprintf(font, sizeof font, "%s %s %.1f", TEXT_FONT, bold ? "Bold" : "", size);
  // At 72 dots an inch a point is a pixel.
  return VImage::text(markup.c_str(), VImage::option()
                                          ->set("font", font)
                                          ->set("width", width)
                                          ->set("dpi", 72)
                                          ->set("align", VIPS_ALIGN_CENTRE)
                                          ->set("wrap", VIPS_TEXT_WRAP_WORD_CHAR));
}

}  // namespace

VImage text_picture(const std::string& text, double size, int width, int lines, bool bold) {
  if (text.find_first_not_of(" \t") == std::string::npos)
    return VImage::black(1, 1, VImage::option()->set("bands", 4)).cast(VIPS_FORMAT_UCHAR);
  // Lines of this size as high as "Ag" is, each: taller text has wrapped onto more lines; wider
  // text has a word Pango could not break. Either is set smaller until it fits.
  VImage mask = set_text(text, size, width, bold);
  for (int tries = 0; tries < 24; ++tries) {
    const double line = set_text("Ag", size, width, bold).height();
    if (mask.height() <= line * (lines + 0.5) && mask.width() <= width) break;
    size *= 0.9;
    mask = set_text(text, size, width, bold);
  }
  // The shadow: the letters blurred, a little below and to the right, dark and soft.
  const int blur = std::max(1, static_cast<int>(std::lround(size * 0.07)));
  const int margin = blur * 4;
  const int shift = std::max(1, static_cast<int>(std::lround(size * 0.035)));
  const int w = mask.width() + 2 * margin, h = mask.height() + 2 * margin;
  VImage letters = mask.embed(margin, margin, w, h).cast(VIPS_FORMAT_FLOAT) / 255.0;
  VImage shadow = mask.embed(margin + shift, margin + shift, w, h).gaussblur(blur).cast(VIPS_FORMAT_FLOAT) / 255.0 * 0.95;
  // White letters over the black shadow: alpha a = t + s(1 - t), colour t / a.
  VImage alpha = letters + shadow * (1.0 - letters);
  VImage white = letters / (alpha + 1e-6) * 255.0;
  return white.bandjoin(white).bandjoin(white).bandjoin(alpha * 255.0).cast(VIPS_FORMAT_UCHAR)
      .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}
