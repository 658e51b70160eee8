// The store and the file reader: paths, first-request loading, and files that do not keep
// their promises.
#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "sync/sync_track.h"
#include "sync/track_file.h"
#include "tests/support/bounded_call.h"
#include "tests/sync/track_files.h"

namespace {

using TrackStore = ScratchDir;
using TrackFile = ScratchDir;

bool same_keys(const std::vector<TrackKey>& a, const std::vector<TrackKey>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].row != b[i].row || a[i].type != b[i].type) return false;
    if (std::memcmp(&a[i].value, &b[i].value, 4) != 0) return false;
  }
  return true;
}

TEST(TrackPath, IsTheLiteralBaseWordAndTheName) {
  EXPECT_EQ(track_file_path("back.x"), "kestos/base_back.x.kesto");
  EXPECT_EQ(track_file_path("happy"), "kestos/base_happy.kesto");
  // Long names are not cut at any fixed length.
  const std::string name(400, 'a');
  EXPECT_EQ(track_file_path(name), "kestos/base_" + name + ".kesto");
}

TEST_F(TrackStore, KeepsItsBaseButReadsFromTheBaseWord) {
  write_track("back.x", track_file_bytes({{0, 2.0f, Step}}));
  auto store = create_track_store("sync");
  EXPECT_EQ(store->base, "sync");
  EXPECT_TRUE(store->tracks.empty());
  SyncTrack* t = get_track(*store, "back.x");
  EXPECT_EQ(t->name, "back.x");
  EXPECT_EQ(get_value(*t, 5.0), 2.0f);
}

TEST_F(TrackStore, MissingFileGivesATrackThatReadsZero) {
  auto store = create_track_store("sync");
  SyncTrack* t = get_track(*store, "sad");
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->keys.empty());
  for (double row : {-10.0, 0.0, 0.5, 1e5}) EXPECT_EQ(get_value(*t, row), 0.0f);
}

TEST_F(TrackStore, SameNameTwiceIsOneHandleReadOnce) {
  write_track("happy", track_file_bytes({{0, 1.0f, Step}}));
  auto store = create_track_store("sync");
  SyncTrack* first = get_track(*store, "happy");
  write_track("happy", track_file_bytes({{0, 2.0f, Step}}));  // a reread would see this
  SyncTrack* again = get_track(*store, "happy");
  EXPECT_EQ(first, again);
  EXPECT_EQ(store->tracks.size(), 1u);
  EXPECT_EQ(get_value(*again, 0.0), 1.0f);
}

TEST_F(TrackStore, NamesAreCaseSensitiveTracksAndFiles) {
  write_track("back.x", track_file_bytes({{0, 1.0f, Step}}));
  write_track("Back.x", track_file_bytes({{0, 2.0f, Step}}));
  auto store = create_track_store("sync");
  SyncTrack* lower = get_track(*store, "back.x");
  SyncTrack* upper = get_track(*store, "Back.x");
  EXPECT_NE(lower, upper);
  EXPECT_EQ(get_value(*lower, 0.0), 1.0f);
  EXPECT_EQ(get_value(*upper, 0.0), 2.0f);
  EXPECT_TRUE(get_track(*store, "BACK.X")->keys.empty());
}

TEST_F(TrackStore, HandlesSurviveTheStoreGrowing) {
  auto store = create_track_store("sync");
  write_track("t0", track_file_bytes({{0, 42.0f, Step}}));
  SyncTrack* first = get_track(*store, "t0");
  for (int i = 1; i < 200; ++i) get_track(*store, "t" + std::to_string(i));
  EXPECT_EQ(store->tracks.size(), 200u);
  EXPECT_EQ(first->name, "t0");
  EXPECT_EQ(get_value(*first, 0.0), 42.0f);
  EXPECT_EQ(get_track(*store, "t0"), first);
  EXPECT_EQ(store->tracks[37]->name, "t37");  // in order of first request
}

TEST_F(TrackFile, ReadsLittleEndianKeysAndSignExtendsTheType) {
  const std::vector<TrackKey> keys = {
      {-300, -1.5f, Linear}, {0, 0.1f, Smooth}, {70000, 1e30f, Ramp}, {70001, 2.0f, -1}, {70002, 3.0f, 127}};
  write_file("t.kesto", track_file_bytes(keys));
  SyncTrack t;
  EXPECT_EQ(load_track_file("t.kesto", t), TRACK_FILE_READ);
  EXPECT_TRUE(same_keys(t.keys, keys));
  // The byte layout itself: count 1, row 0x01020304, value 1.0f, type 0x80.
  write_file("raw.kesto", std::string("\x01\0\0\0\x04\x03\x02\x01\0\0\x80\x3f\x80", 13));
  EXPECT_EQ(load_track_file("raw.kesto", t), TRACK_FILE_READ);
  ASSERT_EQ(t.keys.size(), 1u);
  EXPECT_EQ(t.keys[0].row, 0x01020304);
  EXPECT_EQ(t.keys[0].value, 1.0f);
  EXPECT_EQ(t.keys[0].type, -128);
}

TEST_F(TrackFile, CannotBeOpened) {
  SyncTrack t;
  t.keys = {{0, 1.0f, Step}};
  EXPECT_EQ(load_track_file("no/such.kesto", t), TRACK_FILE_UNOPENABLE);
  EXPECT_TRUE(t.keys.empty());
  std::filesystem::create_directory("dir.kesto");
  EXPECT_EQ(load_track_file("dir.kesto", t), TRACK_FILE_UNOPENABLE);
  EXPECT_TRUE(t.keys.empty());
}

// Damaged files: the result code, and the keys kept, which are always whole keys of the file.
struct Damaged {
  const char* what;
  std::string bytes;
  int result;
  std::vector<TrackKey> kept;
};

void PrintTo(const Damaged& d, std::ostream* os) { *os << d.what; }

class DamagedFile : public ScratchDir, public ::testing::WithParamInterface<Damaged> {};

TEST_P(DamagedFile, KeepsOnlyWholeKeys) {
  const Damaged& d = GetParam();
  write_file("d.kesto", d.bytes);
  SyncTrack t;
  t.keys = {{5, 9.0f, Step}};  // stale keys must not survive a reload
  EXPECT_EQ(load_track_file("d.kesto", t), d.result) << d.what;
  EXPECT_TRUE(same_keys(t.keys, d.kept)) << d.what << ": kept " << t.keys.size() << " keys";
  EXPECT_LE(t.keys.capacity(), d.kept.size() + 16) << d.what << ": allocated beyond the file";
  for (double row : {-1.0, 0.0, 0.5, 1.0, 1.5, 2.0, 1e9}) EXPECT_FALSE(std::isnan(get_value(t, row)));
}

const std::vector<TrackKey> k3 = {{0, 1.0f, Linear}, {1, 2.0f, Linear}, {2, 3.0f, Step}};
const std::vector<TrackKey> k2 = {k3[0], k3[1]};
std::string cut(std::string s, size_t drop) { return s.substr(0, s.size() - drop); }

INSTANTIATE_TEST_SUITE_P(
    Track, DamagedFile,
    ::testing::Values(
        Damaged{"empty file", "", TRACK_FILE_SHORT, {}},
        Damaged{"half a count", std::string("\x03\0", 2), TRACK_FILE_SHORT, {}},
        Damaged{"count zero", track_file_bytes({}), TRACK_FILE_READ, {}},
        Damaged{"count only", track_file_bytes(3, {}), TRACK_FILE_SHORT, {}},
        Damaged{"last key cut by one byte", cut(track_file_bytes(k3), 1), TRACK_FILE_SHORT, k2},
        Damaged{"last key cut to its row", cut(track_file_bytes(k3), 5), TRACK_FILE_SHORT, k2},
        Damaged{"count promises one more", track_file_bytes(4, k3), TRACK_FILE_SHORT, k3},
        Damaged{"huge count", track_file_bytes(0x7fffffff, k3), TRACK_FILE_SHORT, k3},
        Damaged{"negative count", track_file_bytes(-1, k3), TRACK_FILE_NEGATIVE_COUNT, {}},
        Damaged{"most negative count", track_file_bytes(int32_t(0x80000000u), k3), TRACK_FILE_NEGATIVE_COUNT, {}},
        Damaged{"bytes after the keys are ignored", track_file_bytes(2, k3), TRACK_FILE_READ, k2}));

// A count no show comes near, backed by a file that holds that many keys (here sparse: 2.7 GB that
// take no disk), is refused before any allocation; the most a track may hold is read as usual.
TEST_F(TrackFile, MoreKeysThanATrackMayHoldAreRefused) {
  const struct {
    int32_t count;
    int result;
    size_t kept;
  } cases[] = {{300000000, TRACK_FILE_TOO_MANY_KEYS, 0},
               {MAX_TRACK_KEYS + 1, TRACK_FILE_TOO_MANY_KEYS, 0},
               {MAX_TRACK_KEYS, TRACK_FILE_READ, size_t(MAX_TRACK_KEYS)}};
  for (const auto& c : cases) {
    write_file("many.kesto", track_file_bytes(c.count, {}));
    std::filesystem::resize_file("many.kesto", 4 + 9 * uint64_t(c.count));
    const bool as_expected = returns_within(
        [&] {
          SyncTrack t;
          if (load_track_file("many.kesto", t) != c.result || t.keys.size() != c.kept) throw 0;
        },
        10, size_t(64) << 20);
    EXPECT_TRUE(as_expected) << c.count << " keys";
  }
}

TEST(TrackFileResult, EveryCodeIsDescribed) {
  for (int code : {TRACK_FILE_READ, TRACK_FILE_UNOPENABLE, TRACK_FILE_SHORT, TRACK_FILE_NEGATIVE_COUNT,
                   TRACK_FILE_TOO_MANY_KEYS})
    EXPECT_STRNE(describe_track_file_result(code), describe_track_file_result(-1)) << code;
}

}  // namespace
