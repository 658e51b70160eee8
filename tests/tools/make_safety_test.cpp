// hallshow-make with what a careless user or an attacker gives it: its own inputs as the target,
// a target that changes while it works, hidden folders and earlier shows among the photos, special
// files, photos that are no photos, song names that read as options, a full disk, names no
// terminal should print. Nothing it did not make is ever removed, and nothing hangs.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/photos/test_images.h"
#include "tests/support/bounded_call.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"
#include "tools/make/photo_gathering.h"
#include "tools/make/show_folder.h"

namespace fs = std::filesystem;

namespace {

void touch(const fs::path& p, const std::string& text = "x") {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// A folder as hallshow-make leaves it.
void fake_show(const fs::path& dir) {
  touch(dir / "show.txt", "back.n\n  0 1 step\n");
  touch(dir / "photos.txt");
  touch(dir / "e12.mp3");
  touch(dir / "hall.photo/01.png");
  touch(dir / "kestos/base_back.n.kesto");
}

std::vector<std::string> names(const std::vector<std::string>& paths, const fs::path& base) {
  std::vector<std::string> out;
  for (const std::string& p : paths) out.push_back(fs::relative(p, base).string());
  return out;
}

// Folders are walked for photos without their hidden folders and files (a photo manager's
// .thumbnails, a .git) and without a folder that is itself a show (which would feed its own
// catalogue back in); a file named on the command line is taken as it is.
TEST(PhotoGathering, SkipsHiddenThingsAndShows) {
  const TempDir temp;
  const fs::path d = temp.path();
  for (const char* p : {"trip/a.jpg", "trip/.hidden.jpg", "trip/.thumbnails/t.png", "trip/.git/objects/o.png",
                        "trip/day2/b.png", "trip/.c.jpg"})
    touch(d / p);
  fake_show(d / "trip/old-show");
  std::vector<std::string> problems;
  const std::vector<std::string> found =
      gather_photo_files({(d / "trip").string(), (d / "trip/.c.jpg").string()}, problems);
  EXPECT_EQ(names(found, d), (std::vector<std::string>{"trip/a.jpg", "trip/day2/b.png", "trip/.c.jpg"}));
  EXPECT_TRUE(problems.empty());
  // A show given as an input is said to be one, not read.
  problems.clear();
  EXPECT_TRUE(gather_photo_files({(d / "trip/old-show").string()}, problems).empty());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("is a show"), std::string::npos) << problems[0];
}

}  // namespace
