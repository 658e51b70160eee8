// hallshow-make's cards and captions as drawn: the cards' text read back from their pictures by
// OCR (tesseract), in Latin, Greek and Cyrillic letters; captions beside a real face, never over
// it; and whole runs on photos with EXIF times and GPS positions written by exiftool: a title and
// a card for each of three towns, date-only cards without positions, the folder's name without
// either, --cards-from changing those cards' files and nothing else, and no position in the show.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <vips/vips8>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "tests/support/file_contents.h"
#include "tools/authoring/show_text.h"
#include "tools/make/photos/card_files.h"
#include "tools/make/photos/face_finder.h"
#include "tools/make/photos/photo_files.h"
#include "tools/make/show_cards.h"

namespace fs = std::filesystem;
using vips::VImage;

namespace {

const fs::path WORK = MAKE_CARDS_DIR;
const std::string MAKE = MAKE_PATH, MUSIC = DEMO_MUSIC_PATH;

int run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// What tesseract reads on a card: its white letters laid on dark grey, turned to dark on light.
std::string read_card(const fs::path& png, const std::string& language = "eng") {
  const fs::path page = png.string() + ".ocr.png", text = png.string() + ".ocr";
  if (run("convert '" + png.string() + "' -background '#303030' -flatten -negate -resize 50% '" + page.string() + "'") != 0)
    return "";
  if (run("tesseract '" + page.string() + "' '" + text.string() + "' -l " + language + " >/dev/null 2>&1") != 0) return "";
  std::string words = file_contents(text.string() + ".txt");
  std::replace(words.begin(), words.end(), '\n', ' ');
  return words;
}

class CardPictures : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(VIPS_INIT("make_cards_test"), 0);
    fs::remove_all(WORK / "pictures");
    fs::create_directories(WORK / "pictures");
  }
  static fs::path draw(const std::string& text, CardKind kind, int number) {
    std::string why;
    EXPECT_TRUE(write_card(text, kind, number, (WORK / "pictures").string(), why)) << why;
    return WORK / "pictures" / (std::to_string(number) + ".png");
  }
  // The rows of the band that hold letters, as runs: one a line of text.
  static int text_lines(const fs::path& png) {
    const VImage alpha = VImage::new_from_file(png.c_str()).extract_band(3);
    int lines = 0;
    bool inside = false;
    for (int y = 0; y < alpha.height(); ++y) {
      const bool ink = alpha.extract_area(0, y, alpha.width(), 1).max() > 200;
      lines += ink && !inside;
      inside = ink;
    }
    return lines;
  }
};

TEST_F(CardPictures, TheTextIsOnThePictureAsTyped) {
  const fs::path title = draw("Lisbon, Sintra and Porto \u00B7 12\u201314 July 2026", CardKind::Title, 44);
  const std::string read = read_card(title);
  for (const char* word : {"lisbon", "sintra", "porto", "july", "2026"}) EXPECT_NE(lower(read).find(word), std::string::npos) << word << " in: " << read;
  // A card is a 4K band with alpha, its fainter copies after it, each as strong as its place says.
  const VImage full = VImage::new_from_file(title.c_str());
  EXPECT_EQ(full.width(), CARD_WIDTH);
  EXPECT_EQ(full.height(), CARD_HEIGHT);
  EXPECT_EQ(full.bands(), 4);
  for (int k = 1; k <= CARD_FADES; ++k) {
    const VImage faint = VImage::new_from_file((WORK / "pictures" / (std::to_string(44 + k) + ".png")).c_str());
    EXPECT_NEAR(faint.extract_band(3).max(), 255.0 * (1 - k / 4.0), 2);
  }
  // Markup characters are letters, not markup.
  const std::string marked = read_card(draw("Tom & Jerry <b>2026</b>", CardKind::Chapter, 60));
  EXPECT_NE(marked.find("Tom & Jerry"), std::string::npos) << marked;
  EXPECT_NE(marked.find("b>"), std::string::npos) << marked;
  // A title of many words: three lines at most, set smaller, all on the band.
  std::string long_title;
  for (int i = 0; i < 40; ++i) long_title += "summer holiday ";
  const fs::path longest = draw(long_title, CardKind::Title, 70);
  EXPECT_LE(text_lines(longest), 3);
  EXPECT_GE(text_lines(longest), 2);
  EXPECT_EQ(text_lines(draw("Lisbon", CardKind::Title, 80)), 1);
  // An empty card shows nothing.
  EXPECT_EQ(VImage::new_from_file(draw("", CardKind::Chapter, 90).c_str()).extract_band(3).max(), 0);
}

TEST_F(CardPictures, GreekCyrillicAndAccentedLettersHaveTheirGlyphs) {
  struct Case {
    const char* text;
    const char* language;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"\u0391\u03b8\u03ae\u03bd\u03b1 \u00B7 \u03a4\u03c1\u03af\u03c4\u03b7 14 \u0399\u03bf\u03c5\u03bb\u03af\u03bf\u03c5", "ell",
       {"\u0391\u03b8\u03ae\u03bd\u03b1", "\u03a4\u03c1\u03af\u03c4\u03b7"}},
      {"\u041c\u043e\u0441\u043a\u0432\u0430 \u00B7 \u0432\u0442\u043e\u0440\u043d\u0438\u043a, 14 \u0438\u044e\u043b\u044f", "rus",
       {"\u041c\u043e\u0441\u043a\u0432\u0430", "\u0432\u0442\u043e\u0440\u043d\u0438\u043a"}},
      {"S\u00e3o Jo\u00e3o \u00B7 \u00c9vora \u00B7 Cura\u00e7ao", "por", {"S\u00e3o", "Jo\u00e3o", "\u00c9vora", "Cura\u00e7ao"}},
  };
  int number = 100;
  for (const Case& c : cases) {
    const std::string read = read_card(draw(c.text, CardKind::Chapter, number += 10), c.language);
    for (const std::string& w : c.words) EXPECT_NE(read.find(w), std::string::npos) << w << " in: " << read;
  }
}

// The astronaut of skimage's samples (scripts/fetch_photos.sh), her face found as the crops find it.
TEST_F(CardPictures, CaptionsNeverOverAFace) {
  const fs::path source = fs::path(HALLSHOW_PHOTO_SOURCES) / "python3-skimage/astronaut.png";
  if (!fs::exists(source)) GTEST_SKIP() << "no " << source << " (scripts/fetch_photos.sh fetches it)";
  const fs::path dir = WORK / "captions";
  fs::remove_all(dir);
  fs::create_directories(dir);
  PhotoCandidate photo;
  std::string why;
  ASSERT_TRUE(probe_photo(source.string(), false, photo, why)) << why;
  WrittenPhoto plain;
  fs::create_directories(dir / "plain");
  ASSERT_TRUE(write_open_photo(photo, 44, 512, false, (dir / "plain").string(), plain, why)) << why;
  const VImage bare = VImage::new_from_file((dir / "plain" / plain.file).c_str());
  const VImage grey = bare.colourspace(VIPS_INTERPRETATION_B_W).extract_band(0).cast(VIPS_FORMAT_UCHAR);
  size_t bytes = 0;
  void* pixels = grey.write_to_memory(&bytes);
  const std::vector<PixelBox> faces = find_faces(static_cast<const uint8_t*>(pixels), grey.width(), grey.height());
  g_free(pixels);
  ASSERT_FALSE(faces.empty()) << "the astronaut's face is not found";
  // What is seen: all of it, the top half (where her face is), her face's side only.
  const SeenPart seen[] = {{0, 0, 1, 1}, {0, 0, 1, 0.45}, {0, 0, 0.6, 0.5}, {0.2, 0.05, 0.7, 0.45}};
  int set = 0;
  for (const SeenPart& s : seen) {
    SCOPED_TRACE(std::to_string(s.right) + " x " + std::to_string(s.bottom));
    const fs::path out = dir / std::to_string(set++);
    fs::create_directories(out);
    const PhotoCaption caption{"Houston \u00B7 18 June 1983", 0.045, s};
    WrittenPhoto w;
    ASSERT_TRUE(write_open_photo(photo, 44, 512, false, out.string(), w, why, &caption)) << why;
    const VImage captioned = VImage::new_from_file((out / w.file).c_str());
    // Where the picture changed is where the caption says it went, and that is clear of her face.
    const VImage changed = (captioned.cast(VIPS_FORMAT_INT) - bare.cast(VIPS_FORMAT_INT)).abs().bandor() > 24;
    if (w.caption.width == 0) {
      EXPECT_EQ(changed.max(), 0) << "no caption, yet the photo changed";
      continue;
    }
    for (const PixelBox& f : faces) {
      const bool over = w.caption.left < f.left + f.width && f.left < w.caption.left + w.caption.width &&
                        w.caption.top < f.top + f.height && f.top < w.caption.top + w.caption.height;
      EXPECT_FALSE(over) << "caption at " << w.caption.left << "," << w.caption.top << " over the face at " << f.left << "," << f.top;
    }
    // Every changed pixel lies in the caption's box.
    const VImage outside = changed.insert(VImage::black(w.caption.width, w.caption.height).cast(VIPS_FORMAT_UCHAR),
                                          w.caption.left, w.caption.top);
    EXPECT_EQ(outside.max(), 0) << "the photo changed outside the caption";
  }
}

// ---- whole runs

// Twelve photos over three days in Lisbon, Sintra and Porto, four a day, each its own picture.
void make_trip(const fs::path& dir, bool times, bool positions) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  struct Day {
    const char *lat, *lon, *date;
  };
  const Day days[] = {{"38.7139", "9.1394", "2026:07:12"}, {"38.7976", "9.3904", "2026:07:13"}, {"41.1496", "8.6109", "2026:07:14"}};
  int i = 0;
  for (const Day& d : days)
    for (const char* time : {"10:00:00", "11:30:00", "13:00:00", "15:00:00"}) {
      const fs::path photo = dir / ("p" + std::to_string(10 + i) + ".jpg");
      ASSERT_EQ(run("convert -seed " + std::to_string(7 + i) + " -size 800x500 plasma: -quality 88 '" + photo.string() + "'"), 0);
      std::string tags;
      if (times) tags += std::string(" -DateTimeOriginal='") + d.date + " " + time + "'";
      if (positions)
        tags += std::string(" -GPSLatitude=") + d.lat + " -GPSLatitudeRef=N -GPSLongitude=" + d.lon + " -GPSLongitudeRef=W";
      if (!tags.empty()) {
        ASSERT_EQ(run("exiftool -q -overwrite_original" + tags + " '" + photo.string() + "'"), 0);
      }
      ++i;
    }
}

std::vector<std::pair<int, std::string>> cards_of(const fs::path& show) {
  std::vector<std::pair<int, std::string>> cards;
  std::string error;
  EXPECT_TRUE(read_cards_text(file_contents(show / "cards.txt"), cards, error)) << error;
  return cards;
}

// Every file of a folder and what it holds.
std::map<std::string, size_t> checksums(const fs::path& dir) {
  std::map<std::string, size_t> sums;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) sums[fs::relative(e.path(), dir).string()] = std::hash<std::string>{}(file_contents(e.path()));
  return sums;
}

class CardRuns : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    fs::create_directories(WORK);
    ASSERT_EQ(run(MUSIC + " " + (WORK / "song.wav").string() + " 120 40"), 0);
    make_trip(WORK / "trip", true, true);
    make_trip(WORK / "dates", true, false);
    make_trip(WORK / "Summer 2026", false, false);
  }
  // hallshow-make in WORK, English dates; its exit code.
  static int make(const std::string& args) {
    return run("cd '" + WORK.string() + "' && LC_ALL=C " + MAKE + " " + args + " --music song.wav --force >>make.log 2>&1");
  }
};

TEST_F(CardRuns, ATitleAndACardForEachTownAndDayReadBackFromThePictures) {
  ASSERT_EQ(make("trip --out trip-show"), 0) << file_contents(WORK / "make.log");
  const fs::path show = WORK / "trip-show";
  const auto cards = cards_of(show);
  ASSERT_EQ(cards.size(), 4u) << file_contents(show / "cards.txt");
  EXPECT_EQ(cards[0].second, "Lisbon, Sintra and Porto \u00B7 12\u201314 July 2026");
  EXPECT_EQ(cards[1].second, "Lisbon \u00B7 Sunday, 12 July");
  EXPECT_EQ(cards[2].second, "Sintra \u00B7 Monday, 13 July");
  EXPECT_EQ(cards[3].second, "Porto \u00B7 Tuesday, 14 July");
  const std::vector<std::vector<std::string>> words = {
      {"lisbon", "sintra", "porto", "july", "2026"}, {"lisbon", "sunday", "12 july"}, {"sintra", "monday", "13 july"}, {"porto", "tuesday", "14 july"}};
  for (size_t c = 0; c < cards.size(); ++c) {
    const std::string read = lower(read_card(show / "hall.photo" / (std::to_string(cards[c].first) + ".png")));
    for (const std::string& w : words[c]) EXPECT_NE(read.find(w), std::string::npos) << w << " in: " << read;
  }
  // Each card on the front layer from a beat; a chapter on a section's first beat where one is near.
  const ShowText text = parse_show_text(file_contents(show / "show.txt"), "show.txt");
  ASSERT_TRUE(text.errors.empty());
  std::set<int> section_rows;
  std::istringstream lines(file_contents(show / "show.txt"));
  for (std::string line; std::getline(lines, line);) {
    double seconds = 0;
    if (std::sscanf(line.c_str(), "#   %*s %lfs:", &seconds) == 1) section_rows.insert(static_cast<int>(std::lround(seconds * 20)));
  }
  int on_sections = 0;
  for (const TextTrack& t : text.tracks)
    if (t.name == "beard.n")
      for (const TrackKey& k : t.keys)
        for (size_t c = 1; c < cards.size(); ++c)
          if (static_cast<int>(k.value) == cards[c].first + CARD_FADES && k.row > 0 &&
              (&k == &t.keys.front() || static_cast<int>((&k - 1)->value) < cards[c].first))
            on_sections += section_rows.count(k.row);
  EXPECT_GE(on_sections, 1) << "no chapter begins on a section";
  // show.txt names each card beside its key; photos.txt lists its files.
  for (const auto& [n, words_of] : cards) EXPECT_NE(file_contents(show / "show.txt").find(words_of), std::string::npos);
  EXPECT_EQ(std::count_if(cards.begin(), cards.end(), [&](const auto& c) {
              return file_contents(show / "photos.txt").find(std::to_string(c.first) + ".png    card") != std::string::npos;
            }),
            4);
  // No position left the photos: not in the files written, not in the texts.
  for (const auto& e : fs::directory_iterator(show / "hall.photo")) {
    const std::string out = WORK.string() + "/gps.txt";
    run("exiftool -q -q -s3 -GPSLatitude '" + e.path().string() + "' > '" + out + "'");
    EXPECT_EQ(file_contents(out), "") << e.path();
  }
  for (const char* file : {"show.txt", "photos.txt", "cards.txt"})
    for (const char* digits : {"38.71", "38.79", "41.14", "9.13", "9.39", "8.61"})
      EXPECT_EQ(file_contents(show / file).find(digits), std::string::npos) << digits << " in " << file;
}

TEST_F(CardRuns, WithoutPositionsDatesOnlyWithoutEitherTheFolderNameAndNoChapters) {
  ASSERT_EQ(make("dates --out dates-show --captions date"), 0) << file_contents(WORK / "make.log");
  const auto dated = cards_of(WORK / "dates-show");
  ASSERT_EQ(dated.size(), 4u);
  EXPECT_EQ(dated[0].second, "12\u201314 July 2026");
  EXPECT_EQ(dated[2].second, "Monday, 13 July");
  // Captioned photos are encoded again, their dates on them.
  EXPECT_EQ(file_contents(WORK / "dates-show/photos.txt").find("copied"), std::string::npos);

  ASSERT_EQ(make("'Summer 2026' --out plain-show --captions both"), 0) << file_contents(WORK / "make.log");
  const auto plain = cards_of(WORK / "plain-show");
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(plain[0].second, "Summer 2026");
  EXPECT_NE(lower(read_card(WORK / "plain-show/hall.photo" / (std::to_string(plain[0].first) + ".png"))).find("summer 2026"),
            std::string::npos);
  // With neither, there is nothing to caption: the photos are copied as they are.
  EXPECT_NE(file_contents(WORK / "plain-show/photos.txt").find("copied"), std::string::npos);
}

TEST_F(CardRuns, NoCardsIsTheShowWithoutThemAndPositionsChangeNothing) {
  ASSERT_EQ(make("trip --out none-trip --cards none"), 0) << file_contents(WORK / "make.log");
  ASSERT_EQ(make("dates --out none-dates --cards none"), 0) << file_contents(WORK / "make.log");
  EXPECT_FALSE(fs::exists(WORK / "none-trip/cards.txt"));
  // Tracks and photo files alike, whether the photos had positions or not (photos.txt names the
  // folders they came from, which differ).
  auto a = checksums(WORK / "none-trip"), b = checksums(WORK / "none-dates");
  a.erase("photos.txt"), b.erase("photos.txt");
  EXPECT_EQ(a, b);
}

TEST_F(CardRuns, CardsFromChangesTheEditedCardsAndNothingElse) {
  ASSERT_EQ(make("trip --out edited"), 0) << file_contents(WORK / "make.log");
  const fs::path show = WORK / "edited";
  const auto before = checksums(show);
  auto cards = cards_of(show);
  ASSERT_EQ(cards.size(), 4u);
  // The Sintra card in Greek, the rest as they were (written back in another order, with notes).
  std::string edited = "# my notes\n";
  for (const auto& [n, text] : cards)
    edited += std::to_string(n) + "  " + (n == cards[2].first ? "\u03a3\u03af\u03bd\u03c4\u03c1\u03b1 \u00B7 \u0394\u03b5\u03c5\u03c4\u03ad\u03c1\u03b1" : text) + "\n";
  std::ofstream(show / "cards.txt") << edited;
  std::set<std::string> expected = {"cards.txt"};
  for (const std::string& f : card_file_names(cards[2].first)) expected.insert("hall.photo/" + f);
  ASSERT_EQ(run(MAKE + " --cards-from '" + show.string() + "' >>'" + WORK.string() + "/make.log' 2>&1"), 0);
  const auto after = checksums(show);
  std::set<std::string> changed;
  for (const auto& [file, sum] : after)
    if (!before.count(file) || before.at(file) != sum) changed.insert(file);
  for (const auto& [file, sum] : before)
    if (!after.count(file)) changed.insert(file);
  EXPECT_EQ(changed, expected);
  const std::string read = read_card(show / "hall.photo" / (std::to_string(cards[2].first) + ".png"), "ell");
  EXPECT_NE(read.find("\u03a3\u03af\u03bd\u03c4\u03c1\u03b1"), std::string::npos) << read;
  // A number that is a photo, not a card, is refused, and nothing changes.
  std::ofstream(show / "cards.txt") << "44  not a card\n";
  const auto still = checksums(show);
  EXPECT_EQ(run(MAKE + " --cards-from '" + show.string() + "' 2>/dev/null"), 1);
  EXPECT_EQ(checksums(show), still);
}

}  // namespace
