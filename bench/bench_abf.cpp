// Reading an ABF 2 file of 9,000,000 int16 samples per channel (two channels,
// ten sweeps of 900,000), as the model-cell writer makes it: the goal is at
// least 1 GB of file per second, so that a long recording opens at once.

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>

#include "modelcell/AbfWriter.h"
#include "recording/Abf.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
constexpr int kSweeps = 10, kPerSweep = 900'000;

const fs::path& LargeAbf() {
  static const fs::path path = [] {
    const fs::path dir = fs::temp_directory_path() / "velmora-bench-abf";
    fs::create_directories(dir);
    const fs::path p = dir / "large.abf";
    if (fs::exists(p)) return p;
    AbfContent content;
    content.dt = 0.05;
    content.channels = {{"Vm", "mV", {}}, {"Imeas", "pA", {}}};
    for (int k = 0; k < kSweeps; ++k) {
      std::vector<double> v(kPerSweep), i(kPerSweep);
      for (int j = 0; j < kPerSweep; ++j) {
        v[j] = -65 + 10 * std::sin(j * 0.001 + k);
        i[j] = 100.0 * (j % 1000 > 500) + (j % 7) * 0.25;
      }
      content.channels[0].sweeps.push_back(std::move(v));
      content.channels[1].sweeps.push_back(std::move(i));
    }
    content.dac.unit = "pA";
    content.dac.epochs = {{0, static_cast<int>(EpochType::Step), 0, 0, 100000, 0, 0, 0},
                       {1, static_cast<int>(EpochType::Step), -100, 50, 500000, 0, 0, 0}};
    if (!WriteAbf2(p, content)) return fs::path();
    return p;
  }();
  return path;
}

void BM_ReadAbf2Int16(benchmark::State& state) {
  const fs::path& path = LargeAbf();
  if (path.empty()) {
    state.SkipWithError("the file could not be written");
    return;
  }
  NullSink warnings;
  std::size_t samples = 0;
  for (auto _ : state) {
    auto abf = ReadAbf(path, warnings);
    if (!abf) {
      state.SkipWithError(abf.error().What().c_str());
      return;
    }
    samples = abf->channels[0].samples.size();
    benchmark::DoNotOptimize(abf->channels[0].samples.data());
  }
  state.counters["samples_per_channel"] = static_cast<double>(samples);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(path)));
}
BENCHMARK(BM_ReadAbf2Int16)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace velmora
