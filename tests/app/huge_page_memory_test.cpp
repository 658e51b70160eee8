// The one restart with large memory on huge pages: once, with the arguments as they were, the
// tunables the user set kept, and not at all where the user already chose.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  return out;
}

bool kernel_in_madvise_mode() {
  std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string line;
  std::getline(file, line);
  return line.find("[madvise]") != std::string::npos;
}

TEST(HugePageMemory, RestartsOnceWithTheArgumentsAndTheUsersTunables) {
  if (!kernel_in_madvise_mode()) GTEST_SKIP() << "transparent huge pages not in madvise mode: no restart";
  const std::string probe = HUGE_PAGE_PROBE;
  EXPECT_EQ(run("env -u GLIBC_TUNABLES -u PROBE_STARTS " + probe + " 'one two' three"),
            "starts 2\narg one two\narg three\ntunables glibc.malloc.hugetlb=1\n");
  EXPECT_EQ(run("env -u PROBE_STARTS GLIBC_TUNABLES=glibc.malloc.arena_max=2 " + probe),
            "starts 2\ntunables glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1\n");
  // The user's own choice stands, and nothing restarts.
  EXPECT_EQ(run("env -u PROBE_STARTS GLIBC_TUNABLES=glibc.malloc.hugetlb=0 " + probe),
            "starts 1\ntunables glibc.malloc.hugetlb=0\n");
}

}  // namespace
