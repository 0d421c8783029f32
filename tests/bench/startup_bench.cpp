// Benchmarks of the start-up path: the update-file check and one whole
// updater run on a fresh simulated PC. Numbers only; nothing is asserted.
#include <benchmark/benchmark.h>

#include "package/dfu_crc.h"
#include "package/update_format.h"
#include "simkit/scenario.h"
#include "testkit/update_file_maker.h"

namespace {

void BM_CheckDfuCrc(benchmark::State& state) {
  auto file = norbix::testkit::makeUpdateFile({});
  for (auto _ : state) benchmark::DoNotOptimize(norbix::checkDfuCrc(file.data()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_CheckDfuCrc);

void BM_CheckUpdateImage(benchmark::State& state) {
  auto file = norbix::testkit::makeUpdateFile({});
  for (auto _ : state) {
    benchmark::DoNotOptimize(norbix::checkUpdateImage(file.data(), file.size()));
  }
}
BENCHMARK(BM_CheckUpdateImage);

// A fresh PC with the demo folder, the updater started and run to its end.
void BM_StartupScenario(benchmark::State& state) {
  for (auto _ : state) {
    simkit::Scenario scenario(simkit::ScenarioOptions{});
    benchmark::DoNotOptimize(scenario.run());
  }
}
BENCHMARK(BM_StartupScenario)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
