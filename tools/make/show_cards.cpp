#include "tools/make/show_cards.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "tools/authoring/show_files.h"
#include "tools/make/escaped_text.h"
#include "tools/make/photos/card_files.h"
#include "tools/make/places/place_finder.h"
#include "tools/make/show/scene_geometry.h"

namespace fs = std::filesystem;

namespace {

// The folder the photos came from: the first one given, or the first file's own.
std::string folder_name(const std::vector<std::string>& inputs) {
  if (inputs.empty()) return "";
  std::error_code ec;
  fs::path p = fs::weakly_canonical(inputs[0], ec);
  if (ec) p = fs::absolute(inputs[0], ec);
  if (!fs::is_directory(p, ec)) p = p.parent_path();
  const std::string name = p.filename().string();
  return name.empty() ? "Photos" : name;
}

}  // namespace

CardPlan plan_cards(const std::vector<PhotoCandidate>& photos, const MakeOptions& options,
                    std::vector<std::string>& warnings) {
  CardPlan plan;
  const bool cards = options.cards != CardChoice::None;
  if (!cards && options.captions == CaptionChoice::None) return plan;
  std::vector<PhotoMoment> moments;
  bool located = false;
  for (const PhotoCandidate& p : photos) {
    moments.push_back({p.taken, p.located, p.latitude, p.longitude, -1});
    located |= p.located;
  }
  // Places only where something names one: a title of its own and no captions of places need none.
  const bool names_places = (cards && (options.title.empty() || options.cards == CardChoice::Chapters)) ||
                            options.captions == CaptionChoice::Place || options.captions == CaptionChoice::Both;
  std::vector<PlaceName> places;
  if (located && names_places) {
    const std::string file = find_cities_file();
    CityList cities;
    std::string error;
    if (file.empty()) {
      warnings.push_back("hallshow-make: the photos' places cannot be named: GeoNames' towns are not installed "
                         "(scripts/deps.sh puts them in /usr/local/share/hallshow/cities.pbf); the cards give dates only");
    } else if (!read_cities(file, cities, error)) {
      warnings.push_back("hallshow-make: the photos' places cannot be named: " + file + " " + error);
    } else {
      const PlaceFinder finder(std::move(cities));
      std::map<int, int> number;  // city: its place in `places`
      for (PhotoMoment& m : moments) {
        if (!m.located) continue;
        const std::optional<int> city = finder.find(m.latitude, m.longitude);
        if (!city) continue;
        auto [it, fresh] = number.try_emplace(*city, static_cast<int>(places.size()));
        if (fresh) {
          const City& c = finder.cities().cities[*city];
          places.push_back({std::string(finder.cities().name(c)), finder.cities().country(c)});
        }
        m.place = it->second;
      }
    }
  }
  // Chapters tell a trip in the order it was taken: shuffled, there is none.
  if (options.cards == CardChoice::Chapters && !options.shuffle) plan.chapters = make_chapters(moments);
  const DateWords words(time_locale_name());
  plan.texts = set_texts(moments, plan.chapters, places_of(moments), places, words, options.captions,
                         folder_name(options.inputs));
  if (!options.title.empty()) plan.texts.title = one_line(options.title);
  return plan;
}

std::vector<ShowCard> place_cards(const CardPlan& plan, const MakeOptions& options, const std::vector<int>& shown,
                                  int first_entry) {
  std::vector<ShowCard> cards;
  if (options.cards == CardChoice::None || shown.empty()) return cards;
  int entry = first_entry;
  cards.push_back({entry, 0, true, plan.texts.title});
  entry += 1 + CARD_FADES;
  // One chapter is the whole set: the title says all its card would.
  if (plan.chapters.size() < 2) return cards;
  for (size_t c = 0; c < plan.chapters.size(); ++c) {
    const Chapter& ch = plan.chapters[c];
    if (plan.texts.chapters[c].empty()) continue;
    int over = -1;
    for (size_t k = c == 0 ? 1 : 0; k < shown.size() && over < 0; ++k)
      if (shown[k] >= ch.first && shown[k] < ch.first + ch.count) over = static_cast<int>(k);
    if (over < 0) continue;  // none of its photos shown
    cards.push_back({entry, over, false, plan.texts.chapters[c]});
    entry += 1 + CARD_FADES;
  }
  return cards;
}

PhotoCaption caption_of(const CardPlan& plan, int photo, const Choreography& show, int entry) {
  PhotoCaption caption;
  if (photo < 0 || photo >= static_cast<int>(plan.texts.captions.size())) return caption;
  caption.text = plan.texts.captions[photo];
  // Its letters a fortieth of the screen's height, at the largest the photo is shown: its long
  // side spans 2f of the screen's 2 × VIEW_HALF_HEIGHT.
  const double f = show.largest_factor.count(entry) ? std::max(0.1, show.largest_factor.at(entry)) : 1.0;
  caption.size = 0.025 * VIEW_HALF_HEIGHT / f;
  if (show.seen.count(entry)) {
    const Choreography::SeenArea& a = show.seen.at(entry);
    caption.seen = {a.left, a.top, a.right, a.bottom};
  }
  return caption;
}

std::string cards_text(const std::vector<ShowCard>& cards) {
  std::string s =
      "# The text of each card of this show, after its number in hall.photo/: N.png, and the fainter\n"
      "# copies after it that it fades in and out through. Edit a text, then draw the cards again with\n"
      "#   hallshow-make --cards-from FOLDER\n"
      "# The first card is the title, set larger. A card whose text is empty shows nothing.\n";
  for (const ShowCard& c : cards) s += std::to_string(c.entry) + "  " + c.text + "\n";
  return s;
}

bool read_cards_text(const std::string& text, std::vector<std::pair<int, std::string>>& cards, std::string& error) {
  cards.clear();
  std::istringstream lines(text);
  std::set<int> seen;
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    int n = 0;
    const char* begin = line.data() + start;
    const auto [p, ec] = std::from_chars(begin, line.data() + line.size(), n);
    const size_t after = static_cast<size_t>(p - line.data());
    if (ec != std::errc() || n < 0 || (after < line.size() && line[after] != ' ' && line[after] != '\t')) {
      error = "cards.txt line " + std::to_string(number) + ": not a card's number and its text";
      return false;
    }
    if (!seen.insert(n).second) {
      error = "cards.txt line " + std::to_string(number) + ": card " + std::to_string(n) + " is given twice";
      return false;
    }
    std::string words = after < line.size() ? line.substr(after) : "";
    words.erase(0, words.find_first_not_of(" \t"));
    while (!words.empty() && (words.back() == ' ' || words.back() == '\t')) words.pop_back();
    cards.push_back({n, one_line(words)});
  }
  std::sort(cards.begin(), cards.end());
  return true;
}

namespace {

int fail_cards(const std::string& message) {
  std::fprintf(stderr, "hallshow-make: %s; no card was changed\n", printable(message).c_str());
  return 1;
}

// The files photos.txt says are cards.
std::set<std::string> card_files_of(const std::string& photos_text) {
  std::set<std::string> files;
  std::istringstream lines(photos_text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string file, role;
    if (words >> file >> role && role == "card") files.insert(file);
  }
  return files;
}

}  // namespace

int redraw_cards(const std::string& show) {
  const fs::path dir = show, photos = dir / "hall.photo";
  std::string text, listed, error;
  if (!read_whole_file((dir / "cards.txt").string(), text))
    return fail_cards((dir / "cards.txt").string() + " cannot be read (a show made with --cards none has no cards)");
  if (!read_whole_file((dir / "photos.txt").string(), listed))
    return fail_cards((dir / "photos.txt").string() + " cannot be read");
  std::vector<std::pair<int, std::string>> cards;
  if (!read_cards_text(text, cards, error)) return fail_cards(error);
  if (cards.empty()) return fail_cards((dir / "cards.txt").string() + " names no card");
  // Only files this program made as cards are drawn over: a number that is a photo is refused.
  const std::set<std::string> made = card_files_of(listed);
  for (const auto& [n, words] : cards)
    for (const std::string& name : card_file_names(n))
      if (!made.count(name)) return fail_cards("cards.txt: " + std::to_string(n) + " is not a card of this show (photos.txt lists its cards)");
  // Drawn beside the cards first, then each put in place: a card that cannot be drawn leaves all
  // as they were.
  char pattern[] = ".cards-XXXXXX";
  const std::string temp_template = (photos / pattern).string();
  std::vector<char> temp_name(temp_template.begin(), temp_template.end());
  temp_name.push_back('\0');
  if (!mkdtemp(temp_name.data())) return fail_cards("cannot draw the cards in " + photos.string() + ": " + std::strerror(errno));
  const fs::path temp = temp_name.data();
  struct Gone {
    fs::path p;
    ~Gone() {
      std::error_code ec;
      fs::remove_all(p, ec);
    }
  } gone{temp};
  for (const auto& [n, words] : cards) {
    const CardKind kind = n == cards.front().first ? CardKind::Title : CardKind::Chapter;
    if (!write_card(words, kind, n, temp.string(), error)) return fail_cards("card " + std::to_string(n) + ": " + error);
  }
  for (const auto& [n, words] : cards)
    for (const std::string& name : card_file_names(n)) {
      std::error_code ec;
      fs::rename(temp / name, photos / name, ec);
      if (ec) {
        std::fprintf(stderr, "hallshow-make: cannot put %s in place: %s\n", printable((photos / name).string()).c_str(),
                     ec.message().c_str());
        return 1;
      }
    }
  std::printf("hallshow-make: %zu card%s of %s drawn again\n", cards.size(), cards.size() == 1 ? "" : "s",
              printable(show).c_str());
  return 0;
}
