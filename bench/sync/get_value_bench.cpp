// get_value per call on a 10,000-key track: the binary search and one interpolation.
#include <benchmark/benchmark.h>

#include "sync/sync_track.h"

namespace {

SyncTrack many_keys(int32_t type) {
  SyncTrack t;
  t.name = "bench";
  for (int32_t i = 0; i < 10000; ++i) t.keys.push_back({i * 4, float(i % 97), type});
  return t;
}

void get_value_at(benchmark::State& state) {
  const SyncTrack t = many_keys(int32_t(state.range(0)));
  double row = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(get_value(t, row));
    row += 3.37;  // walks the whole track, off the keys, as frames do
    if (row > 40000.0) row -= 40000.0;
  }
}
BENCHMARK(get_value_at)->ArgName("type")->Arg(Step)->Arg(Linear)->Arg(Smooth)->Arg(Ramp);

}  // namespace

BENCHMARK_MAIN();
