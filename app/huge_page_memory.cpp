#include "app/huge_page_memory.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#if defined(__linux__) && defined(__GLIBC__)
#include <unistd.h>
#endif

namespace {

// The mode the kernel gives transparent huge pages: "madvise" in "always [madvise] never".
std::string huge_page_mode() {
  std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string line;
  std::getline(file, line);
  const size_t open = line.find('['), close = line.find(']');
  return open != std::string::npos && close > open ? line.substr(open + 1, close - open - 1) : std::string();
}

}  // namespace

void restart_with_huge_page_memory(char** argv) {
#if defined(__linux__) && defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 35)
  if (!argv || !argv[0]) return;
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  if (tunables && std::strstr(tunables, "glibc.malloc.hugetlb")) return;
  if (huge_page_mode() != "madvise") return;
  const std::string value =
      tunables && *tunables ? std::string(tunables) + ":glibc.malloc.hugetlb=1" : "glibc.malloc.hugetlb=1";
  if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
  execv("/proc/self/exe", argv);
  // Not restarted: go on as we are, without the tunable, so that nothing else sees it.
  if (tunables)
    setenv("GLIBC_TUNABLES", tunables, 1);
  else
    unsetenv("GLIBC_TUNABLES");
#else
  (void)argv;
#endif
}
