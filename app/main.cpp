#include "app/run_show.h"

int main() { return run_show(); }
