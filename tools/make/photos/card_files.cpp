#include "tools/make/photos/card_files.h"

#include <algorithm>

#include "tools/make/photos/text_image.h"

using vips::VImage;

namespace {

// Sizes on the 4K screen, in pixels: the letters' em and the widest line.
constexpr double TITLE_SIZE = 150, CHAPTER_SIZE = 112;
constexpr int LINE_WIDTH = CARD_WIDTH * 4 / 5;
constexpr int MOST_LINES = 3;

void save_png(const VImage& image, const std::string& path) {
  image.pngsave(path.c_str(), VImage::option()->set("compression", 6)->set("strip", true));
}

}  // namespace

std::vector<std::string> card_file_names(int number) {
  std::vector<std::string> names;
  for (int k = 0; k <= CARD_FADES; ++k) names.push_back(std::to_string(number + k) + ".png");
  return names;
}

bool write_card(const std::string& text, CardKind kind, int number, const std::string& folder, std::string& why) {
  try {
    const bool title = kind == CardKind::Title;
    const double size = title ? TITLE_SIZE : CHAPTER_SIZE;
    VImage picture = text_picture(text, size, LINE_WIDTH, MOST_LINES, true);
    // Too long for a line: a place and a date part where the dot between them is, not within
    // either ("Lisbon, Sintra and Porto" over "12–14 July 2026").
    const size_t dot = text.find(" \u00B7 ");
    if (dot != std::string::npos && picture.height() > text_picture("Ag", size, LINE_WIDTH, 1, true).height() * 1.5)
      picture = text_picture(text.substr(0, dot) + "\n" + text.substr(dot + 4), size, LINE_WIDTH, MOST_LINES, true);
    // What even the smallest letters cannot fit (thousands of characters) is shrunk whole.
    const double fit = std::min({1.0, static_cast<double>(CARD_WIDTH) / picture.width(),
                                 static_cast<double>(CARD_HEIGHT) / picture.height()});
    if (fit < 1.0) picture = picture.resize(fit);
    const int w = std::min(picture.width(), CARD_WIDTH), h = std::min(picture.height(), CARD_HEIGHT);
    const VImage band = picture.crop(0, 0, w, h).embed((CARD_WIDTH - w) / 2, (CARD_HEIGHT - h) / 2, CARD_WIDTH, CARD_HEIGHT);
    const std::vector<std::string> names = card_file_names(number);
    save_png(band, folder + "/" + names[0]);
    const VImage colour = band.extract_band(0, VImage::option()->set("n", 3));
    const VImage alpha = band.extract_band(3);
    for (int k = 1; k <= CARD_FADES; ++k) {
      const double strength = 1.0 - static_cast<double>(k) / (CARD_FADES + 1);
      save_png(colour.bandjoin((alpha * strength).cast(VIPS_FORMAT_UCHAR))
                   .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB)),
               folder + "/" + names[k]);
    }
    return true;
  } catch (const vips::VError& e) {
    why = e.what();
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    vips_error_clear();
    return false;
  }
}
