#pragma once
// Dates, lists and country names in the user's language, as their LC_TIME asks (ICU's data, so
// that a range reads naturally in each: "12–14 July 2026", "30 June – 2 July 2026", "12.–14. Juli
// 2026"). ICU stays behind this header. Dates are the camera's calendar days: no time zone moves
// them.
#include <memory>
#include <string>
#include <vector>

#include "tools/make/show/chapters.h"

// The locale dates are written in: LC_ALL, else LC_TIME, else LANG, as the C library reads them;
// "" when none is set.
std::string time_locale_name();

class DateWords {
 public:
  // A POSIX locale name ("de_DE.UTF-8", "sr_RS@latin"); "", "C" and "POSIX" give English with
  // the day before the month.
  explicit DateWords(const std::string& locale_name);
  ~DateWords();
  DateWords(const DateWords&) = delete;
  DateWords& operator=(const DateWords&) = delete;

  std::string day(CivilDay d, bool with_year) const;                // "Tuesday, 14 July"
  std::string days(CivilDay a, CivilDay b, bool with_year) const;   // "12–14 July"; one day: day()
  std::string date(CivilDay d) const;                               // "14 July 2026"
  // The dates of a whole set: its days within a fortnight ("12–14 July 2026"), else its months
  // within a year ("July 2026", "June – July 2026"), else its years.
  std::string span(CivilDay a, CivilDay b) const;
  std::string list(const std::vector<std::string>& items) const;    // "Lisbon, Sintra and Porto"
  std::string country(const std::string& code) const;               // "PT": "Portugal"

 private:
  struct Icu;
  std::unique_ptr<Icu> icu_;
};
