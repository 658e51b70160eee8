// hallshow-wall's logic without network, clock or window: the show's fingerprint, the messages
// and what is made of anything else, the row and base-time arithmetic, what a follower says as its
// leader comes and goes, the music's small corrections, the options, and the exchange of messages
// over a channel standing in for the network.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tools/wall/beat_exchange.h"
#include "tools/wall/show_fingerprint.h"
#include "tools/wall/wall_message.h"
#include "tools/wall/wall_options.h"
#include "tools/wall/wall_timing.h"

namespace {

void write(const std::string& path, const std::string& bytes) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder);
  std::ofstream(path, std::ios::binary) << bytes;
}

void write_show() {
  write("kestos/base_back.x.kesto", std::string("\1\0\0\0\0\0\0\0\0\0\x80\x3f\1", 13));
  write("kestos/base_happy.kesto", std::string("\1\0\0\0\0\0\0\0\0\0\0\x40\0", 13));
  write("hall.photo/01.png", std::string(300000, 'a'));
  write("hall.photo/17.jpg", "a photo");
  write("hall.photo/44.jpg", "an open entry");
}

TEST(WallFingerprint, ChangesWithAnyTrackOrPhotoAndNotOtherwise) {
  TempDir folder;
  write_show();
  const ShowFingerprint base = fingerprint_show();
  EXPECT_EQ(fingerprint_show(), base) << "the same folder read twice";

  struct Change {
    const char* what;
    std::function<void()> make, undo;
    bool changes;
  };
  const auto replace_byte = [](const char* path, size_t at) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.put('b');
  };
  const Change changes[] = {
      {"a track's value", [] { write("kestos/base_back.x.kesto", std::string("\1\0\0\0\0\0\0\0\0\0\0\x40\1", 13)); },
       [] { write("kestos/base_back.x.kesto", std::string("\1\0\0\0\0\0\0\0\0\0\x80\x3f\1", 13)); }, true},
      {"a track added", [] { write("kestos/base_beard.y.kesto", std::string(4, '\0')); },
       [] { std::filesystem::remove("kestos/base_beard.y.kesto"); }, true},
      {"a track removed", [] { std::filesystem::rename("kestos/base_happy.kesto", "happy.keep"); },
       [] { std::filesystem::rename("happy.keep", "kestos/base_happy.kesto"); }, true},
      {"a byte in the middle of a photo", [&] { replace_byte("hall.photo/01.png", 150000); },
       [] { write("hall.photo/01.png", std::string(300000, 'a')); }, true},
      {"a catalogue photo added", [] { write("hall.photo/02.png", "x"); },
       [] { std::filesystem::remove("hall.photo/02.png"); }, true},
      {"an open entry renamed", [] { std::filesystem::rename("hall.photo/44.jpg", "hall.photo/45.jpg"); },
       [] { std::filesystem::rename("hall.photo/45.jpg", "hall.photo/44.jpg"); }, true},
      {"an open entry added", [] { write("hall.photo/1000.png", "x"); },
       [] { std::filesystem::remove("hall.photo/1000.png"); }, true},
      // Not the show's tracks or photos:
      {"the music", [] { write("e12.mp3", "music"); }, [] { std::filesystem::remove("e12.mp3"); }, false},
      {"the show's text", [] { write("show.txt", "text"); }, [] { std::filesystem::remove("show.txt"); }, false},
      {"a file no track is read from", [] { write("kestos/base_other.kesto", "x"); },
       [] { std::filesystem::remove("kestos/base_other.kesto"); }, false},
      {"a file in the photo folder that is no entry", [] { write("hall.photo/notes.txt", "x"); },
       [] { std::filesystem::remove("hall.photo/notes.txt"); }, false},
      {"a photo's time stamp", [] {
         std::filesystem::last_write_time("hall.photo/01.png", std::filesystem::file_time_type::clock::now() - std::chrono::hours(5));
       }, [] {}, false},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    c.make();
    const ShowFingerprint changed = fingerprint_show();
    EXPECT_EQ(changed.digest() != base.digest(), c.changes);
    EXPECT_EQ(fingerprint_differences(base, changed).empty(), !c.changes);
    c.undo();
    EXPECT_EQ(fingerprint_show().digest(), base.digest());
  }
}

TEST(WallFingerprint, DifferencesNameTheFiles) {
  const ShowFingerprint leader{{{"photo hall.photo/01.png", 1}, {"photo hall.photo/44.jpg", 5}, {"track back.x", 2}, {"track happy", 0}}};
  const ShowFingerprint here{{{"photo hall.photo/01.png", 1}, {"photo hall.photo/45.jpg", 6}, {"track back.x", 3}, {"track happy", 4}}};
  EXPECT_EQ(fingerprint_differences(leader, here),
            "photo hall.photo/44.jpg only on the leader, photo hall.photo/45.jpg only here, track back.x differs, "
            "track happy only here");
  ShowFingerprint many;
  for (int i = 0; i < 9; ++i) many.items.push_back({"photo " + std::to_string(i), uint64_t(i + 1)});
  EXPECT_NE(fingerprint_differences({}, many).find(", and 5 more"), std::string::npos);
  EXPECT_EQ(fingerprint_differences(leader, leader), "");
}

TEST(WallMessage, BeatsAndListsComeBackAsSent) {
  Beat beat{0xfeedf00d12345678ull, "Hall show", {ClockKind::Ptp, 7}, 0, true, -123456789012345, 0xabcull};
  EXPECT_EQ(decode_beat(encode_beat(beat)), beat);
  beat = Beat{1, "x", {}, 5637, false, 0, 0};
  EXPECT_EQ(decode_beat(encode_beat(beat)), beat);
  FingerprintList list{42, {{{"photo hall.photo/01.png", 1}, {"track back.x", ~0ull}}}};
  const std::optional<FingerprintList> back = decode_list(encode_list(list));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->run, 42u);
  EXPECT_EQ(back->fingerprint, list.fingerprint);
  EXPECT_FALSE(decode_list(encode_beat(beat)));
  EXPECT_FALSE(decode_beat(encode_list(list)));
}

TEST(WallMessage, AnythingElseIsNothing) {
  const std::string good = encode_beat({1, "show", {}, 5637, true, 99, 3});
  const std::string bad[] = {
      "",
      "\xff\xfe garbage",
      good.substr(0, good.size() - 1),                        // the last line unfinished
      good + "extra 1\n",
      "hallshow-wall beat 2" + good.substr(20),               // a version not understood
      std::string(good).replace(good.find("base 99"), 7, "base 9x"),
      std::string(good).replace(good.find("base 99"), 7, "base +9"),
      std::string(good).replace(good.find("clock net"), 9, "clock ntp"),
      std::string(good).replace(good.find("5637"), 4, "70000"),
      std::string(good).replace(good.find("show show"), 9, "show \x01ow"),
      std::string(good).replace(good.find("show show"), 9, "show "),
  };
  for (const std::string& text : bad) EXPECT_FALSE(decode_beat(text)) << text;
  EXPECT_FALSE(decode_list("hallshow-wall list 1\nrun 1\nitem 0000000000000001 b\nitem 0000000000000001 a\n"));  // unsorted
  EXPECT_FALSE(decode_list("hallshow-wall list 1\nrun 1\nitem 1 a\n"));
  EXPECT_TRUE(decode_list("hallshow-wall list 1\nrun 1\n"));
}

TEST(WallTiming, RowsFromTheSharedClockAndTheBase) {
  EXPECT_DOUBLE_EQ(row_at(2'500'000'000, 0), 50.0);
  EXPECT_DOUBLE_EQ(row_at(1'000'000'000'000'001'000, 1'000'000'000'000'000'000), 0.00002);  // large times, exact difference
  EXPECT_DOUBLE_EQ(row_at(0, 1'000'000'000), -20.0);
  EXPECT_DOUBLE_EQ(predicted_presentation(10.0, 1.0 / 60, 10.001), 10.0 + 1.0 / 60);
  EXPECT_DOUBLE_EQ(predicted_presentation(10.0, 1.0 / 60, 10.5), 10.5);  // a late frame is seen as soon as it can be
}

TEST(WallTiming, TheLeadersBaseFollowsItsMusicButNotItsJitter) {
  BaseFromMusic base;
  const int64_t start = 5'000'000'000'000;
  // The music heard 0.3 s in at shared time start + 0.3 s: position 0 was at `start`.
  EXPECT_TRUE(base.observe(start + 300'000'000, 0.3));
  EXPECT_EQ(base.base(), start);
  // Callbacks jitter by ±0.8 ms around it: the base announced stays.
  for (int64_t i = 0; i < 100; ++i) {
    const double jitter = (i % 3 - 1) * 0.0008;
    EXPECT_FALSE(base.observe(start + 400'000'000 + i * 16'000'000, 0.4 + i * 0.016 + jitter));
  }
  EXPECT_EQ(base.base(), start);
  // The device's clock runs 2 ms late for good: the base moves once the median has, by that much.
  bool moved = false;
  for (int64_t i = 0; i < 20; ++i) moved |= base.observe(start + 3'000'000'000 + i * 16'000'000, 2.998 + i * 0.016);
  EXPECT_TRUE(moved);
  EXPECT_NEAR(double(base.base() - start), 2e6, 1e3);
  // At the end the position holds: the time passing then says nothing about the base.
  const int64_t held = base.base();
  for (int64_t i = 0; i < 30; ++i) EXPECT_FALSE(base.observe(start + 9'000'000'000 + i * 100'000'000, 5.0, true));
  EXPECT_EQ(base.base(), held);
}

TEST(WallTiming, TheFollowerSaysEachChangeOfItsLeaderOnce) {
  LeaderWatch watch(100.0);
  EXPECT_EQ(watch.tick(105.0), WatchEvent::None);
  EXPECT_EQ(watch.tick(110.0), WatchEvent::NotFound);
  EXPECT_EQ(watch.tick(130.0), WatchEvent::None);  // said once, still trying
  EXPECT_EQ(watch.heard(131.0), WatchEvent::Found);
  EXPECT_EQ(watch.heard(131.25), WatchEvent::None);
  EXPECT_EQ(watch.tick(132.0), WatchEvent::None);
  EXPECT_EQ(watch.tick(133.3), WatchEvent::Gone);
  EXPECT_EQ(watch.tick(150.0), WatchEvent::None);
  EXPECT_EQ(watch.heard(160.0), WatchEvent::Back);
  EXPECT_TRUE(watch.present());

  LeaderWatch quick(0.0);
  EXPECT_EQ(quick.heard(1.0), WatchEvent::None);  // found in time: nothing to say
  EXPECT_EQ(quick.tick(20.0), WatchEvent::Gone);
}

TEST(WallTiming, MusicIsCorrectedFrameByFrameOnceInStep) {
  struct Case {
    double ahead;
    bool in_step;
    bool jump;
    int drop, repeat;
  };
  const Case cases[] = {
      {0.0, false, true, 0, 0},           // the first buffer goes where the clock is
      {0.3, true, true, 0, 0},            // a new base: out of step again
      {-0.06, true, true, 0, 0},
      {0.000005, true, false, 0, 0},      // within half a frame
      {0.00003, true, false, 0, 1},       // ahead by a frame: one played twice
      {-0.00003, true, false, 1, 0},      // behind: one left out
      {0.01, true, false, 0, MUSIC_STEPS_PER_BUFFER},
      {-0.049, true, false, MUSIC_STEPS_PER_BUFFER, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ahead);
    const MusicStep step = music_step(c.ahead, c.in_step, 44100);
    EXPECT_EQ(step.jump, c.jump);
    EXPECT_EQ(step.drop, c.drop);
    EXPECT_EQ(step.repeat, c.repeat);
  }
}

// The music's frames numbered 0, 1, 2, … in both channels, stepped over a buffer of 12.
std::vector<int> stepped(const MusicStep& step, size_t available) {
  std::vector<int16_t> in(40), out(24, -1);
  for (size_t i = 0; i < in.size(); ++i) in[i] = int16_t(i / 2);
  const size_t used = apply_music_step(in.data(), available, out.data(), 12, step);
  std::vector<int> frames;
  for (size_t i = 0; i < out.size(); i += 2) {
    EXPECT_EQ(out[i], out[i + 1]) << "the channels stay together";
    frames.push_back(out[i]);
  }
  frames.push_back(int(used));
  return frames;
}

TEST(WallTiming, AStepRepeatsOrDropsSingleFramesSpreadOverTheBuffer) {
  // Each list: the 12 frames played, then how many of the music's were used.
  EXPECT_EQ(stepped({}, 20), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(stepped({false, 0, 1}, 20), (std::vector<int>{0, 1, 2, 3, 4, 5, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(stepped({false, 0, 2}, 20), (std::vector<int>{0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 10}));
  EXPECT_EQ(stepped({false, 1, 0}, 20), (std::vector<int>{0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13}));
  EXPECT_EQ(stepped({false, 2, 0}, 20), (std::vector<int>{0, 1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 14}));
  // At the end of the music what is left of the buffer stays as it was (the caller's silence).
  EXPECT_EQ(stepped({false, 1, 0}, 8), (std::vector<int>{0, 1, 2, 3, 4, 5, 7, -1, -1, -1, -1, -1, 8}));
}

TEST(WallOptions, ParsesItsArgumentsAndRefusesOthersClearly) {
  struct Case {
    std::vector<const char*> args;
    bool ok;
    WallRole role = WallRole::Lead;
    std::string host = "";
    int port = DEFAULT_WALL_PORT;
    bool music = true;
  };
  const Case cases[] = {
      {{"--lead"}, true},
      {{"--lead", "--port", "0", "--music", "none"}, true, WallRole::Lead, "", 0, false},
      {{"--join"}, true, WallRole::Join, "", DEFAULT_WALL_PORT, false},
      {{"--join", "--music", "here"}, true, WallRole::Join, "", DEFAULT_WALL_PORT, true},
      {{"--join", "hall-1"}, true, WallRole::Join, "hall-1", DEFAULT_WALL_PORT, false},
      {{"--join", "10.0.0.2:6000"}, true, WallRole::Join, "10.0.0.2", 6000, false},
      {{"--join", "[fe80::1]:6000"}, true, WallRole::Join, "fe80::1", 6000, false},
      {{"--join", "fe80::1"}, true, WallRole::Join, "fe80::1", DEFAULT_WALL_PORT, false},
      {{"--join", "h", "--port", "7000"}, true, WallRole::Join, "h", 7000, false},
      {{"--join", "h:1", "--port", "7000"}, false},
      {{"--join", "h:0"}, false},
      {{"--join", "h:"}, false},
      {{"--join", "--port", "0"}, false},
      {{"--join", "--clock", "system"}, false},  // the leader's choice
      {{"--lead", "--music", "here"}, false},
      {{"--lead", "--join"}, false},
      {{}, false},
      {{"--lead", "--port", "65536"}, false},
      {{"--lead", "--clock", "ptp:300"}, false},
      {{"--lead", "--clock", "ptp:3", "--wall", "2x1", "--screen", "2,1", "--bezel", "40"}, true},
      {{"--lead", "--rows-only", "--wall", "2x1", "--screen", "2,1"}, false},
      {{"--lead", "--offscreen", "640x"}, false},
      {{"--lead", "--fps"}, false},
      {{"--lead", "--loud"}, false},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"hallshow-wall"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string trace;
    for (const char* a : c.args) trace += std::string(a) + " ";
    SCOPED_TRACE(trace);
    WallOptions options;
    std::string error;
    EXPECT_EQ(parse_wall_options(int(argv.size()), argv.data(), options, error), c.ok) << error;
    EXPECT_EQ(error.empty(), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(options.role, c.role);
    EXPECT_EQ(options.host, c.host);
    EXPECT_EQ(options.port, c.port);
    EXPECT_EQ(options.music, c.music);
  }
}

// The network stood in for by two queues.
struct FakeNetwork {
  std::mutex lock;
  std::deque<std::string> to_follower;
  bool join = false;
};

class FakeLeader : public LeaderChannel {
 public:
  explicit FakeLeader(FakeNetwork& net) : net_(net) {}
  void publish(const std::string& message) override {
    std::lock_guard<std::mutex> hold(net_.lock);
    net_.to_follower.push_back(message);
  }
  bool wait_for_join(int timeout_ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeout_ms, 5)));
    std::lock_guard<std::mutex> hold(net_.lock);
    return std::exchange(net_.join, false);
  }
  FakeNetwork& net_;
};

class FakeFollower : public FollowerChannel {
 public:
  explicit FakeFollower(FakeNetwork& net) : net_(net) {}
  std::optional<std::string> receive(int timeout_ms) override {
    {
      std::lock_guard<std::mutex> hold(net_.lock);
      if (!net_.to_follower.empty()) {
        std::string m = net_.to_follower.front();
        net_.to_follower.pop_front();
        return m;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeout_ms, 5)));
    return std::nullopt;
  }
  FakeNetwork& net_;
};

// Waits (boundedly) for `done`.
bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(WallExchange, AJoiningFollowerGetsBeatAndListAtOnceAndGarbageIsCountedNotTaken) {
  FakeNetwork net;
  BeatServer server(std::make_unique<FakeLeader>(net));
  BeatListener listener(std::make_unique<FakeFollower>(net), [] { return 1.0; });
  const Beat beat{7, "show", {}, 5637, true, 1234, 99};
  server.set_beat(beat);
  const ShowFingerprint print{{{"track happy", 5}}};
  server.set_list({7, print});
  ASSERT_TRUE(eventually([&] { return listener.heard().beat.has_value(); }));
  EXPECT_EQ(*listener.heard().beat, beat);
  {
    std::lock_guard<std::mutex> hold(net.lock);
    net.to_follower.push_back("GET / HTTP/1.0\r\n\r\n");
    net.to_follower.push_back(encode_beat(beat).substr(3));
    net.join = true;  // someone joins: the list goes out now, not in LIST_REPEAT_SECONDS
  }
  ASSERT_TRUE(eventually([&] { return listener.heard().list.has_value() && listener.heard().dropped == 2; }));
  EXPECT_EQ(listener.heard().list->fingerprint, print);
  EXPECT_EQ(*listener.heard().beat, beat);  // the garbage changed nothing
  // A new base reaches the follower with the next beat.
  Beat later = beat;
  later.base = 5678;
  server.set_beat(later);
  ASSERT_TRUE(eventually([&] { return listener.heard().beat->base == 5678; }));
}

}  // namespace
