// The studio's files without a window: the live show text with its reloads, the file watch, and
// the command line.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sync/sync_track.h"
#include "sync/track_file.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"
#include "tools/authoring/scene_track_names.h"
#include "tools/authoring/show_text.h"
#include "tools/studio/file_watch.h"
#include "tools/studio/live_show.h"
#include "tools/studio/studio_options.h"

namespace fs = std::filesystem;

namespace {

// Saved as editors do: written beside the file and renamed over it.
void save(const fs::path& p, const std::string& text) {
  const fs::path temp = p.string() + ".swp";
  std::ofstream(temp, std::ios::binary) << text;
  fs::rename(temp, p);
}

class StudioFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    store = create_track_store("sync");
    for (std::string_view name : KESTO_TRACK_NAMES) tracks.push_back(get_track(*store, name));
  }
  SyncTrack* track(std::string_view name) {
    for (SyncTrack* t : tracks)
      if (t->name == name) return t;
    return nullptr;
  }
  TempDir temp_{TempDir::WorkingDirectory::Keep};
  const fs::path dir = temp_.path();
  std::unique_ptr<SyncTrackStore> store;
  std::vector<SyncTrack*> tracks;
};

constexpr char SHOW[] =
    "bpm 120\n"
    "back.r\n"
    "  0 1 linear\n"
    "  2s 0.5 step\n"
    "happy\n"
    "  0 0 step\n"
    "  71.5s 2 step\n";

TEST_F(StudioFiles, ASoundSaveReplacesTheKeysInPlaceAndWritesKestos) {
  const fs::path text = dir / "show.txt";
  save(text, SHOW);
  LiveShow live(text.string(), dir.string());
  SyncTrack* back_r = track("back.r");
  EXPECT_EQ(live.reload(tracks), LiveShow::Result::Applied);
  EXPECT_TRUE(live.errors().empty());
  EXPECT_FALSE(fs::exists(dir / "kestos"));  // the frame first, the disk after it
  EXPECT_TRUE(live.write_pending());
  EXPECT_FALSE(live.write_pending());
  EXPECT_TRUE(live.write_error().empty());
  EXPECT_EQ(track("back.r"), back_r);  // the same track, the handle still good
  ASSERT_EQ(back_r->keys.size(), 2u);
  EXPECT_EQ(back_r->keys[1].row, 40);
  EXPECT_EQ(get_value(*back_r, 20.0), 0.75f);
  EXPECT_EQ(live.tempo().bpm, 120.0);
  EXPECT_EQ(live.last_key_row(), 1430);
  EXPECT_EQ(live.generation(), 1u);
  // The files kesto build writes: every track, the text's and the defaults.
  const ShowText parsed = parse_show_text(SHOW, "show.txt");
  for (const TextTrack& t : parsed.tracks)
    EXPECT_EQ(file_contents(dir / track_file_name(t.name)), encode_track_file(t.keys)) << t.name;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "kestos"), fs::directory_iterator()), 22);

  EXPECT_EQ(live.reload(tracks), LiveShow::Result::Unchanged);  // the same bytes again
  EXPECT_EQ(live.generation(), 1u);

  std::string changed = SHOW;
  changed.replace(changed.find("0.5 step"), 3, "0.25");
  save(text, changed);
  const auto untouched = fs::last_write_time(dir / "kestos/base_happy.kesto");
  EXPECT_EQ(live.reload(tracks), LiveShow::Result::Applied);
  EXPECT_EQ(get_value(*back_r, 40.0), 0.25f);
  EXPECT_TRUE(live.write_pending());
  EXPECT_EQ(file_contents(dir / "kestos/base_back.r.kesto"), encode_track_file(back_r->keys));
  EXPECT_EQ(fs::last_write_time(dir / "kestos/base_happy.kesto"), untouched);  // the same bytes: left alone
  EXPECT_EQ(live.generation(), 2u);
}

TEST_F(StudioFiles, AFaultySaveChangesNothingUntilASoundOne) {
  const fs::path text = dir / "show.txt";
  save(text, SHOW);
  LiveShow live(text.string(), dir.string());
  ASSERT_EQ(live.reload(tracks), LiveShow::Result::Applied);
  live.write_pending();
  const std::vector<TrackKey> before = track("back.r")->keys;
  const std::string file_before = file_contents(dir / "kestos/base_back.r.kesto");

  save(text, std::string(SHOW) + "back.q\n  0 1 step\nback.r\n");
  EXPECT_EQ(live.reload(tracks), LiveShow::Result::Refused);
  EXPECT_FALSE(live.write_pending());
  ASSERT_EQ(live.errors().size(), 2u);
  EXPECT_EQ(live.errors()[0].rfind(text.string() + ":8: unknown track 'back.q'", 0), 0u) << live.errors()[0];
  EXPECT_EQ(live.errors()[1], text.string() + ":10: track 'back.r' is already given at line 2");
  EXPECT_EQ(track("back.r")->keys.size(), before.size());
  EXPECT_EQ(file_contents(dir / "kestos/base_back.r.kesto"), file_before);
  EXPECT_FALSE(fs::exists(dir / "kestos/base_back.q.kesto"));
  EXPECT_EQ(live.generation(), 1u);
  EXPECT_EQ(live.reload(tracks), LiveShow::Result::Unchanged);  // still faulty, still reported
  EXPECT_EQ(live.errors().size(), 2u);

  save(text, "back.r\n  0 0.5 step\n");
  EXPECT_EQ(live.reload(tracks), LiveShow::Result::Applied);
  EXPECT_TRUE(live.errors().empty());
  EXPECT_EQ(get_value(*track("back.r"), 100.0), 0.5f);
  EXPECT_EQ(live.tempo().bpm, 0.0);  // the tempo line went with the old text
}

// A track the text leaves out plays its authoring default, as hallshow will read it from the
// kestos/ the save writes; an old file for it is not what plays.
TEST_F(StudioFiles, TracksTheTextLeavesOutPlayTheirDefaults) {
  fs::create_directories(dir / "kestos");
  std::ofstream(dir / "kestos/base_sad.kesto", std::ios::binary) << encode_track_file({{5, 3.0f, Step}});
  track("sad")->keys = {{0, 9.0f, Step}};
  save(dir / "show.txt", SHOW);
  LiveShow live((dir / "show.txt").string(), dir.string());
  ASSERT_EQ(live.reload(tracks), LiveShow::Result::Applied);
  EXPECT_TRUE(track("sad")->keys.empty());
  EXPECT_TRUE(track("beard.x")->keys.empty());
  EXPECT_EQ(get_value(*track("back.g"), 100.0), 1.0f);
  EXPECT_EQ(get_value(*track("back.scale"), 100.0), 0.0f);
  EXPECT_EQ(get_value(*track("beard.scale"), 100.0), -1.0f);  // beard is not mentioned: hidden
  live.write_pending();
  EXPECT_EQ(file_contents(dir / "kestos/base_sad.kesto"), encode_track_file({}));
}

TEST_F(StudioFiles, AMissingTextOrAFolderInTheWayIsReported) {
  const fs::path text = dir / "show.txt";
  LiveShow live(text.string(), dir.string());
  EXPECT_EQ(live.reload(tracks), LiveShow::Result::Unreadable);
  ASSERT_EQ(live.errors().size(), 1u);
  EXPECT_EQ(live.errors()[0], "cannot read " + text.string());

  std::ofstream(dir / "kestos") << "a file where the folder should be";
  save(text, SHOW);
  EXPECT_EQ(live.reload(tracks), LiveShow::Result::Applied);  // the picture still follows the text
  EXPECT_TRUE(live.write_pending());
  EXPECT_NE(live.write_error(), "");
  EXPECT_EQ(get_value(*track("back.r"), 0.0), 1.0f);

  fs::remove(text);
  EXPECT_EQ(live.reload(tracks), LiveShow::Result::Unreadable);
  EXPECT_EQ(get_value(*track("back.r"), 0.0), 1.0f);
  fs::remove(dir / "kestos");
  save(text, SHOW);  // the same text back: news after it was gone
  EXPECT_EQ(live.reload(tracks), LiveShow::Result::Applied);
  EXPECT_TRUE(live.write_pending());
  EXPECT_TRUE(live.errors().empty());
  EXPECT_TRUE(live.write_error().empty());
}

TEST_F(StudioFiles, TheWatchReportsSavedFilesOnly) {
  const fs::path a = dir / "a.txt", b = dir / "b.txt", later = dir / "later.txt";
  std::ofstream(a) << "a";
  std::ofstream(b) << "b";
  FileWatch watch({a.string(), b.string(), later.string()});
  EXPECT_TRUE(watch.notified());
  std::vector<size_t> changed;
  double now = 100.0;
  watch.poll(now, changed);
  EXPECT_TRUE(changed.empty());

  std::ofstream(a) << "a, saved in place";
  watch.poll(now += 0.01, changed);  // too soon for a status check: inotify told
  EXPECT_EQ(changed, std::vector<size_t>{0});
  watch.poll(now += 0.01, changed);
  EXPECT_TRUE(changed.empty());

  save(b, "b, renamed into place");
  std::ofstream(dir / "unwatched.txt") << "x";
  watch.poll(now += 0.01, changed);
  EXPECT_EQ(changed, std::vector<size_t>{1});

  fs::remove(a);  // gone is not news; back again is
  watch.poll(now += 1, changed);
  EXPECT_TRUE(changed.empty());
  save(later, "new");
  save(a, "back");
  watch.poll(now += 0.01, changed);
  EXPECT_EQ(changed, (std::vector<size_t>{0, 2}));
}

// A folder that does not exist yet cannot be watched; the status checks find its files anyway.
TEST_F(StudioFiles, TheWatchFallsBackOnStatusChecks) {
  const fs::path photo = dir / "hall.photo/01.png";
  FileWatch watch({photo.string()});
  std::vector<size_t> changed;
  double now = 100.0;
  watch.poll(now, changed);
  fs::create_directories(photo.parent_path());
  std::ofstream(photo) << "png";
  watch.poll(now += 0.1, changed);
  EXPECT_TRUE(changed.empty());  // not yet time for a check
  watch.poll(now += FileWatch::POLL_SECONDS, changed);
  EXPECT_TRUE(changed.empty());  // seen once: it may still be being written
  watch.poll(now += FileWatch::POLL_SECONDS, changed);
  EXPECT_EQ(changed, std::vector<size_t>{0});
}

// A file the status checks alone see changing (a copy over a slow share, a photo being written) is
// reported once it stops changing, and not before: a JPEG taken half written "decodes" half grey.
TEST_F(StudioFiles, TheStatusChecksWaitForTwoThatAgree) {
  const fs::path photo = dir / "hall.photo/01.jpg";
  FileWatch watch({photo.string()});
  std::vector<size_t> changed;
  double now = 100.0;
  watch.poll(now, changed);
  fs::create_directories(photo.parent_path());
  std::ofstream out(photo, std::ios::binary);
  for (int part = 0; part < 4; ++part) {
    out << std::string(1000, char('a' + part)) << std::flush;  // still being written
    watch.poll(now += FileWatch::POLL_SECONDS, changed);
    EXPECT_TRUE(changed.empty()) << "after part " << part;
  }
  out.close();
  watch.poll(now += FileWatch::POLL_SECONDS, changed);
  EXPECT_EQ(changed, std::vector<size_t>{0});
  EXPECT_EQ(fs::file_size(photo), 4000u);
  watch.poll(now += FileWatch::POLL_SECONDS, changed);
  EXPECT_TRUE(changed.empty());  // reported once
}

TEST(StudioOptions, ReadsTheCommandLine) {
  const struct {
    std::vector<const char*> args;
    const char* text;
    int width, height;
    double at;
    bool paused, overlay, fullscreen;
  } cases[] = {
      {{}, "show.txt", 1280, 720, 0, false, true, false},
      {{"my.txt", "--window", "800x450", "--at", "10s"}, "my.txt", 800, 450, 200, false, true, false},
      {{"--paused", "--at", "250", "--no-overlay", "--fullscreen"}, "show.txt", 1280, 720, 250, true, false, true},
      {{"--at", "1.25s"}, "show.txt", 1280, 720, 25, false, true, false},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"hallshow-studio"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    StudioOptions o;
    std::string error;
    ASSERT_TRUE(parse_studio_options(static_cast<int>(argv.size()), argv.data(), o, error)) << error;
    EXPECT_EQ(o.show_text, c.text);
    EXPECT_EQ(o.width, c.width);
    EXPECT_EQ(o.height, c.height);
    EXPECT_EQ(o.at_row, c.at);
    EXPECT_EQ(o.paused, c.paused);
    EXPECT_EQ(o.overlay, c.overlay);
    EXPECT_EQ(o.fullscreen, c.fullscreen);
  }
  const struct {
    std::vector<const char*> args;
    const char* error;
  } refused[] = {
      {{"--window", "0x720"}, "--window \"0x720\": not WIDTHxHEIGHT in 1..16384"},
      {{"--window", "1280"}, "--window \"1280\": not WIDTHxHEIGHT in 1..16384"},
      {{"--at"}, "--at needs a value"},
      {{"--at", "-3s"}, "--at \"-3s\": not a time (rows like 250, seconds like 12.5s)"},
      {{"--loud"}, "unknown option \"--loud\""},
      {{"a.txt", "b.txt"}, "one show text only (\"a.txt\" and \"b.txt\")"},
  };
  for (const auto& r : refused) {
    std::vector<const char*> argv = {"hallshow-studio"};
    argv.insert(argv.end(), r.args.begin(), r.args.end());
    StudioOptions o;
    std::string error;
    EXPECT_FALSE(parse_studio_options(static_cast<int>(argv.size()), argv.data(), o, error));
    EXPECT_EQ(error, r.error);
  }
}

}  // namespace
