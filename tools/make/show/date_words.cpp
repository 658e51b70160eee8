#include "tools/make/show/date_words.h"

#include <unicode/dtitvfmt.h>
#include <unicode/dtptngen.h>
#include <unicode/gregocal.h>
#include <unicode/listformatter.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <cstdio>
#include <cstdlib>

namespace {

// A day at noon, on a calendar with no time zone to move it.
UDate noon(CivilDay d) {
  UErrorCode e = U_ZERO_ERROR;
  icu::GregorianCalendar c(icu::TimeZone::getGMT()->clone(), e);
  c.clear();
  c.set(d.year, d.month - 1, d.day, 12, 0, 0);
  const UDate t = c.getTime(e);
  return U_SUCCESS(e) ? t : 0;
}

std::string utf8(const icu::UnicodeString& s) {
  std::string out;
  s.toUTF8String(out);
  return out;
}

std::string iso(CivilDay d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

long month_index(CivilDay d) { return d.year * 12L + d.month; }

}  // namespace

std::string time_locale_name() {
  for (const char* name : {"LC_ALL", "LC_TIME", "LANG"})
    if (const char* v = std::getenv(name); v && *v) return v;
  return "";
}

struct DateWords::Icu {
  icu::Locale locale;
};

DateWords::DateWords(const std::string& locale_name) : icu_(std::make_unique<Icu>()) {
  std::string name = locale_name.substr(0, locale_name.find('.'));  // "de_DE.UTF-8@euro": "de_DE"
  name = name.substr(0, name.find('@'));
  if (name.empty() || name == "C" || name == "POSIX") name = "en_001";
  icu_->locale = icu::Locale::createCanonical(name.c_str());
  if (icu_->locale.isBogus()) icu_->locale = icu::Locale("en_001");
}

DateWords::~DateWords() = default;

namespace {

std::string pattern_date(const icu::Locale& locale, const char* skeleton, CivilDay d) {
  UErrorCode e = U_ZERO_ERROR;
  std::unique_ptr<icu::DateTimePatternGenerator> g(icu::DateTimePatternGenerator::createInstance(locale, e));
  if (U_FAILURE(e)) return iso(d);
  const icu::UnicodeString pattern = g->getBestPattern(icu::UnicodeString(skeleton), e);
  icu::SimpleDateFormat f(pattern, locale, e);
  if (U_FAILURE(e)) return iso(d);
  f.adoptTimeZone(icu::TimeZone::getGMT()->clone());
  icu::UnicodeString out;
  f.format(noon(d), out);
  return utf8(out);
}

std::string interval(const icu::Locale& locale, const char* skeleton, CivilDay a, CivilDay b) {
  UErrorCode e = U_ZERO_ERROR;
  std::unique_ptr<icu::DateIntervalFormat> f(icu::DateIntervalFormat::createInstance(icu::UnicodeString(skeleton), locale, e));
  if (U_FAILURE(e)) return iso(a) + " – " + iso(b);
  f->adoptTimeZone(icu::TimeZone::getGMT()->clone());
  icu::DateInterval span(noon(a), noon(b));
  icu::UnicodeString out;
  icu::FieldPosition at;
  f->format(&span, out, at, e);
  return U_SUCCESS(e) ? utf8(out) : iso(a) + " – " + iso(b);
}

}  // namespace

std::string DateWords::day(CivilDay d, bool with_year) const {
  return pattern_date(icu_->locale, with_year ? "EEEEdMMMMy" : "EEEEdMMMM", d);
}

std::string DateWords::days(CivilDay a, CivilDay b, bool with_year) const {
  if (a == b) return day(a, with_year);
  return interval(icu_->locale, with_year ? "dMMMMy" : "dMMMM", a, b);
}

std::string DateWords::date(CivilDay d) const { return pattern_date(icu_->locale, "dMMMMy", d); }

std::string DateWords::span(CivilDay a, CivilDay b) const {
  if (b < a) std::swap(a, b);
  if (a == b) return date(a);
  const double apart = (noon(b) - noon(a)) / 86400000.0;
  if (apart <= 14) return interval(icu_->locale, "dMMMMy", a, b);
  if (month_index(b) - month_index(a) < 12) return interval(icu_->locale, "MMMMy", a, b);
  return interval(icu_->locale, "y", a, b);
}

std::string DateWords::list(const std::vector<std::string>& items) const {
  if (items.size() <= 1) return items.empty() ? "" : items[0];
  UErrorCode e = U_ZERO_ERROR;
  std::unique_ptr<icu::ListFormatter> f(icu::ListFormatter::createInstance(icu_->locale, e));
  std::vector<icu::UnicodeString> u;
  for (const std::string& s : items) u.push_back(icu::UnicodeString::fromUTF8(s));
  icu::UnicodeString out;
  if (U_SUCCESS(e)) f->format(u.data(), static_cast<int32_t>(u.size()), out, e);
  if (U_FAILURE(e) || !f) {
    std::string joined;
    for (const std::string& s : items) joined += (joined.empty() ? "" : ", ") + s;
    return joined;
  }
  return utf8(out);
}

std::string DateWords::country(const std::string& code) const {
  icu::UnicodeString name;
  icu::Locale("", code.c_str()).getDisplayCountry(icu_->locale, name);
  return name.isEmpty() ? code : utf8(name);
}
