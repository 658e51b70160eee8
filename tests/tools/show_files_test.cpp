// Track files written while others read and write the same folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "sync/track_file.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"
#include "tools/authoring/scene_track_names.h"
#include "tools/authoring/show_files.h"
#include "tools/authoring/show_text.h"

namespace fs = std::filesystem;

namespace {

// A text whose "happy" track has `keys` keys, so that the two writers' files differ in length.
ShowText show_with_keys(int keys) {
  std::string text = "happy\n";
  for (int i = 0; i < keys; ++i) text += "  " + std::to_string(i) + " " + std::to_string(i % 3) + " linear\n";
  ShowText show = parse_show_text(text, "show.txt");
  EXPECT_TRUE(show.errors.empty());
  return show;
}

class ShowFiles : public ::testing::Test {
 protected:
  fs::path happy() const { return dir / track_file_name("happy"); }
  // Whatever kestos/ holds besides the track files: temporary files left behind.
  std::vector<std::string> strays() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir / "kestos")) {
      const auto is_track = [&](std::string_view name) { return entry.path() == dir / track_file_name(std::string(name)); };
      if (std::none_of(KESTO_TRACK_NAMES.begin(), KESTO_TRACK_NAMES.end(), is_track))
        names.push_back(entry.path().filename().string());
    }
    return names;
  }
  TempDir temp_{TempDir::WorkingDirectory::Keep};
  const fs::path dir = temp_.path();
};

TEST_F(ShowFiles, TwoWritersAtOnceNeverTearAFile) {
  const ShowText a = show_with_keys(3), b = show_with_keys(400);
  const std::string a_bytes = encode_track_file(a.tracks[0].keys), b_bytes = encode_track_file(b.tracks[0].keys);
  std::string error;
  ASSERT_TRUE(write_track_files(a, dir.string(), error)) << error;

  std::atomic<bool> done{false};
  std::atomic<int> failures{0}, torn{0};
  auto writer = [&](const ShowText& show) {
    for (int i = 0; i < 150; ++i) {
      std::string e;
      if (!write_track_files(show, dir.string(), e)) ++failures;
    }
  };
  std::thread reader([&] {
    while (!done) {
      const std::string now = file_contents(happy());
      if (now != a_bytes && now != b_bytes) ++torn;
    }
  });
  std::thread first(writer, std::cref(a)), second(writer, std::cref(b));
  first.join();
  second.join();
  done = true;
  reader.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_TRUE(strays().empty());
}

TEST_F(ShowFiles, NothingAlreadyBesideTheTargetIsWrittenThrough) {
  // A file left under a name a writer might pick (here the one every write once used), linked to
  // a file elsewhere: writing the track must not change that file.
  fs::create_directories(dir / "kestos");
  const fs::path victim = dir / "victim";
  std::ofstream(victim) << "keep me";
  fs::create_symlink(victim, happy().string() + ".part");
  std::string error;
  ASSERT_TRUE(write_track_files(show_with_keys(2), dir.string(), error)) << error;
  EXPECT_EQ(file_contents(victim), "keep me");
  EXPECT_EQ(file_contents(happy()), encode_track_file(show_with_keys(2).tracks[0].keys));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(happy())));
}

TEST_F(ShowFiles, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  std::string error;
  ASSERT_TRUE(write_track_files(show_with_keys(2), dir.string(), error)) << error;
  // The target is a folder now: the rename cannot replace it.
  fs::remove(happy());
  fs::create_directory(happy());
  EXPECT_FALSE(write_track_files(show_with_keys(5), dir.string(), error));
  EXPECT_NE(error.find("happy"), std::string::npos) << error;
  fs::remove(happy());
  EXPECT_TRUE(strays().empty());
}

// A saved file keeps the mode of the one it replaces; a link is saved through and stays a link;
// a failure names the file once, with the system's reason.
TEST_F(ShowFiles, SavesKeepModeAndLinks) {
  const fs::path real = dir / "texts/real.txt", link = dir / "show.txt";
  fs::create_directories(real.parent_path());
  std::ofstream(real) << "old";
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(real, link);
  std::string error;
  ASSERT_TRUE(save_file(link.string(), "new", error)) << error;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(file_contents(real), "new");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(save_file((dir / "no/such/folder.txt").string(), "x", error));
  EXPECT_EQ(error, "cannot save " + (dir / "no/such/folder.txt").string() + ": No such file or directory");
}

}  // namespace
