#include "app/huge_page_memory.h"
#include "app/run_show.h"

// The show takes no arguments; argv only serves its one restart.
int main(int, char** argv) {
  restart_with_huge_page_memory(argv);
  return run_show();
}
