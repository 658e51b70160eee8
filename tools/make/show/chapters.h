#pragma once
// The chapters of a set of photos, in the order they were taken: a new one where a night or some
// hours pass between two photos, or where the place changes by tens of kilometres; one of a few
// photos joins the neighbour nearer in time, and neighbours that would be named alike are one.
// Photos without a position of their own take the place of their neighbours in time where those
// agree. Pure, so that it is tested on made-up sets.
#include <string>
#include <vector>

// A day of the calendar, as the camera's clock had it.
struct CivilDay {
  int year = 0, month = 0, day = 0;
  friend bool operator==(const CivilDay&, const CivilDay&) = default;
  friend auto operator<=>(const CivilDay&, const CivilDay&) = default;
};

// What is known of one photo.
struct PhotoMoment {
  std::string taken;  // "YYYY:MM:DD HH:MM:SS" from its EXIF, "" when not known (no date is invented)
  bool located = false;  // its own GPS position
  double latitude = 0, longitude = 0;
  int place = -1;        // the place its position names, -1 none
};

struct Chapter {
  int first = 0, count = 0;       // photos [first, first + count) of the set
  int place = -1;                 // the place most of its photos were taken in, -1 none
  bool dated = false;             // some of its photos have times: first_day to last_day
  CivilDay first_day, last_day;
};

// A new chapter after this long without a photo, and where a photo is this far from where the
// chapter's first located photo was taken.
inline constexpr double CHAPTER_GAP_HOURS = 5.0;
inline constexpr double CHAPTER_DISTANCE_KM = 20.0;

// The day and the seconds (counted from 1970, on the camera's clock) of an EXIF time; false for
// "" or a time that is no time.
bool civil_time(const std::string& taken, CivilDay& day, double& seconds);

// The place of each photo: its own, or its neighbours' in time when both name the same place
// (the one neighbour's, at either end of the set, within two hours).
std::vector<int> places_of(const std::vector<PhotoMoment>& photos);

// Every photo in exactly one chapter, in order; one chapter for a set that gives no reason to part
// it (nothing dated or located); none for no photos.
std::vector<Chapter> make_chapters(const std::vector<PhotoMoment>& photos);
