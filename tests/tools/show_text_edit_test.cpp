// Key edits in a show text: the one line of the key changes (or goes in, or comes out), every
// other byte stays, and edits that would make a fault are refused.
#include "tools/authoring/show_text_edit.h"

#include <gtest/gtest.h>

#include "sync/sync_track.h"

namespace {

constexpr char TEXT[] =
    "# a show\n"
    "bpm 120   # the tempo\n"
    "back.x\n"
    "    0     0    linear  # from the middle\n"
    "    2:1   0.5  smooth\n"
    "\n"
    "    4s    1    step\n"
    "happy\n"
    "  0 1 step\n"
    "  repeat 2:1 to 3:1 every 1 beat: 1 step, 0 step\n";

TEST(ShowTextEdit, ChangesOnlyTheKeysLine) {
  const struct {
    const char* name;
    std::string (*edit)(std::string& why);
    std::string expected;
  } cases[] = {
      {"a new value for a key that is there",
       [](std::string& why) {
         std::string out;
         return set_key_in_text(TEXT, "back.x", "2:1", 0.25f, std::nullopt, out, why) ? out : "";
       },
       std::string(TEXT).replace(std::string(TEXT).find("0.5  smooth"), 3, "0.25")},
      {"a value and an interpolation for a key written in seconds",
       [](std::string& why) {
         std::string out;
         return set_key_in_text(TEXT, "back.x", "80", -2.0f, Ramp, out, why) ? out : "";
       },
       std::string(TEXT).replace(std::string(TEXT).find("1    step"), 9, "-2    ramp")},
      {"a new key between two, with the interpolation of the one before",
       [](std::string& why) {
         std::string out;
         return set_key_in_text(TEXT, "back.x", "1:3", 0.125f, std::nullopt, out, why) ? out : "";
       },
       std::string(TEXT).insert(std::string(TEXT).find("    2:1"), "    1:3  0.125  linear\n")},
      {"a new key after the last, and a text without a final line break",
       [](std::string& why) {
         std::string out;
         const std::string text = std::string(TEXT).substr(0, std::string(TEXT).find("happy"));
         return set_key_in_text(text + "sad", "sad", "5:1", 3.0f, std::nullopt, out, why) ? out : "";
       },
       std::string(TEXT).substr(0, std::string(TEXT).find("happy")) + "sad\n  5:1  3  step\n"},
      {"a track the text does not name gets a block at the end",
       [](std::string& why) {
         std::string out;
         return set_key_in_text(TEXT, "beard.n", "2:2", 5.0f, std::nullopt, out, why) ? out : "";
       },
       std::string(TEXT) + "beard.n\n  2:2  5  step\n"},
      {"a key taken out",
       [](std::string& why) {
         std::string out;
         return remove_key_from_text(TEXT, "back.x", 40, out, why) ? out : "";
       },
       std::string(TEXT).erase(std::string(TEXT).find("    2:1"), 22)},
      {"the interpolation of the key before the row, cycled",
       [](std::string& why) {
         std::string out;
         return cycle_interpolation_in_text(TEXT, "back.x", 60, out, why) ? out : "";
       },
       std::string(TEXT).replace(std::string(TEXT).find("smooth"), 6, "ramp")},
      {"ramp goes round to step",
       [](std::string& why) {
         std::string a, b;
         return cycle_interpolation_in_text(TEXT, "back.x", 45, a, why) &&
                        cycle_interpolation_in_text(a, "back.x", 45, b, why)
                    ? b
                    : "";
       },
       std::string(TEXT).replace(std::string(TEXT).find("smooth"), 6, "step")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string why;
    EXPECT_EQ(c.edit(why), c.expected) << why;
  }
}

// The last key of a track taken out takes its name with it: the track is back to its default
// (a colour to 1) instead of a named track without keys, which would read 0.
TEST(ShowTextEdit, ATrackLeftWithoutKeysLosesItsName) {
  std::string out, why;
  ASSERT_TRUE(remove_key_from_text("back.r  # red\n  0 0.5 step\nsad\n", "back.r", 0, out, why)) << why;
  EXPECT_EQ(out, "sad\n");
}

TEST(ShowTextEdit, RefusesWhatWouldGoWrong) {
  const struct {
    const char* name;
    bool (*edit)(std::string& out, std::string& why);
    const char* why;
  } cases[] = {
      {"a key from a pattern",
       [](std::string& out, std::string& why) { return set_key_in_text(TEXT, "happy", "2:2", 1, std::nullopt, out, why); },
       "the key at row 50 comes from the pattern on line 10; change it there"},
      {"removing a key from a pattern",
       [](std::string& out, std::string& why) { return remove_key_from_text(TEXT, "happy", 40, out, why); },
       "the key at row 40 comes from the pattern on line 10; change it there"},
      {"no key there",
       [](std::string& out, std::string& why) { return remove_key_from_text(TEXT, "back.x", 41, out, why); },
       "no key of back.x at row 41"},
      {"no key before",
       [](std::string& out, std::string& why) { return cycle_interpolation_in_text(TEXT, "sad", 41, out, why); },
       "no key of sad at or before row 41"},
      {"a key inside a pattern's span",
       [](std::string& out, std::string& why) { return set_key_in_text(TEXT, "happy", "75", 1, std::nullopt, out, why); },
       "the edit would make a fault: show text:11: row 75 is inside the pattern of line 10, which runs to row 80"},
      {"a faulty text",
       [](std::string& out, std::string& why) {
         return set_key_in_text("back.q\n", "back.x", "0", 1, std::nullopt, out, why);
       },
       "the text has faults; mend them first (show text:1: unknown track 'back.q' (the show reads back.n, back.x, "
       "back.y, back.r, back.g, back.b, back.scale, back.rotx, back.roty, back.rotz, beard.n, beard.x, beard.y, "
       "beard.r, beard.g, beard.b, beard.scale, beard.rotx, beard.roty, beard.rotz, sad, happy))"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out, why;
    EXPECT_FALSE(c.edit(out, why));
    EXPECT_EQ(why, c.why);
  }
}

}  // namespace
