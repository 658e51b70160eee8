// Restarts itself as the show does, then prints how many times it has started, its arguments and
// GLIBC_TUNABLES, one a line, for huge_page_memory_test.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/huge_page_memory.h"

int main(int argc, char** argv) {
  const char* starts = std::getenv("PROBE_STARTS");
  const int n = (starts ? std::atoi(starts) : 0) + 1;
  setenv("PROBE_STARTS", std::to_string(n).c_str(), 1);
  restart_with_huge_page_memory(argv);
  std::printf("starts %d\n", n);
  for (int i = 1; i < argc; ++i) std::printf("arg %s\n", argv[i]);
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  std::printf("tunables %s\n", tunables ? tunables : "(none)");
  return 0;
}
