// The catalogue table: names, file types, extension case, and which loader takes which entry.
#include "photos/photo_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string file_name(int index) { return std::string(PHOTO_CATALOGUE[index].path).substr(11); }

}  // namespace

TEST(PhotoCatalogue, ExtensionsAsEachEntryWritesThem) {
  // Index ranges and their extension, as the show's photo files come.
  struct Range {
    int first, last;
    const char* extension;
  };
  const Range ranges[] = {
      {0, 0, ".jpg"},   {1, 4, ".png"},   {5, 11, ".JPG"},  {12, 16, ".png"}, {17, 17, ".jpg"},
      {18, 24, ".png"}, {25, 25, ".gif"}, {26, 27, ".png"}, {28, 29, ".JPG"}, {30, 30, ".jpg"},
      {31, 31, ".JPG"}, {32, 32, ".jpg"}, {33, 33, ".JPG"}, {34, 34, ".jpg"}, {35, 43, ".png"},
  };
  int covered = 0;
  for (const Range& r : ranges) {
    for (int i = r.first; i <= r.last; ++i, ++covered) {
      std::string name = file_name(i);
      EXPECT_EQ(name.substr(name.size() - 4), r.extension) << i;
    }
  }
  EXPECT_EQ(covered, PHOTO_COUNT);
}

TEST(PhotoCatalogue, NamesAreTheIndexInTwoDigitsAndSortWithoutRegardToCase) {
  for (int i = 0; i < PHOTO_COUNT; ++i) {
    const PhotoEntry& e = PHOTO_CATALOGUE[i];
    EXPECT_EQ(std::string(e.path).rfind("hall.photo/", 0), 0u) << i;
    EXPECT_EQ(utf8_path(e.wide_path), e.path) << i;
    int number = i == 43 ? 40 : i;
    char digits[3] = {char('0' + number / 10), char('0' + number % 10), 0};
    EXPECT_EQ(file_name(i).substr(0, 3), std::string(digits) + ".") << i;
  }
  for (int i = 1; i < 43; ++i) EXPECT_LT(lower(file_name(i - 1)), lower(file_name(i))) << i;
  EXPECT_STREQ(PHOTO_CATALOGUE[43].path, PHOTO_CATALOGUE[40].path);
  EXPECT_STREQ(PHOTO_CATALOGUE[17].path, "hall.photo/17.jpg");  // the backdrop
}

TEST(PhotoCatalogue, EveryPngGoesToTheFileLoaderAndElevenPicturesToThePictureLoader) {
  std::multiset<uint32_t> file_loads(FILE_TEXTURE_ORDER.begin(), FILE_TEXTURE_ORDER.end());
  std::set<uint32_t> picture_loads;
  for (const PictureStep& s : PICTURE_STEPS) picture_loads.insert(s.index);
  EXPECT_EQ(file_loads.size(), 27u);
  EXPECT_EQ(picture_loads.size(), 11u);
  for (int i = 0; i < PHOTO_COUNT; ++i) {
    bool png = lower(file_name(i)).ends_with(".png");
    EXPECT_EQ(file_loads.count(i), png ? 1u : 0u) << i;
    if (png) {
      EXPECT_FALSE(picture_loads.count(i)) << i;
    }
  }
  std::set<int> never;
  for (int i = 0; i < PHOTO_COUNT; ++i) {
    if (!file_loads.count(i) && !picture_loads.count(i)) never.insert(i);
  }
  EXPECT_EQ(never, (std::set<int>{6, 7, 8, 9, 10, 28}));
  for (int i : never) EXPECT_TRUE(lower(file_name(i)).ends_with(".jpg")) << i;
}

TEST(Utf8Path, EncodesEveryPlane) {
  struct Case {
    const char16_t* wide;
    std::string utf8;
  };
  const Case cases[] = {
      {u"", ""},
      {u"hall.photo/00.jpg", "hall.photo/00.jpg"},
      {u"caf\u00e9.png", "caf\xc3\xa9.png"},
      {u"\u20ac", "\xe2\x82\xac"},
      {u"\U0001F600", "\xf0\x9f\x98\x80"},
      {u"a\xd800" "b", "a\xef\xbf\xbd" "b"},  // a lone surrogate becomes U+FFFD
  };
  for (const Case& c : cases) EXPECT_EQ(utf8_path(c.wide), c.utf8);
  EXPECT_EQ(utf8_path(nullptr), "");
}
