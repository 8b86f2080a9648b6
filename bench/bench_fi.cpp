// The F-I run over long text sweeps of the model cell (900,001 samples each):
// the whole run as `velmora-cli fi` makes it against reading each trace once,
// and the parts of the analysis of the loaded sweeps.
//
// VELMORA_BENCH_FI_SWEEPS sets the number of sweeps (default 20: about 1.2 GB
// of traces per recording and 0.9 GB of memory; 50 needs about 3 GB of disk
// per recording and 2.2 GB of memory). The recordings are written to the
// temporary directory and removed at exit.

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "modelcell/Synth.h"
#include "recording/Filter.h"
#include "recording/ListOfFiles.h"
#include "recording/TraceFile.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "actions/FiRun.h"
#include "spikes/FICurves.h"
#include "actions/ReadAndDraw.h"
#include "spikes/ResultFiles.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

int Sweeps() {
  const char* n = std::getenv("VELMORA_BENCH_FI_SWEEPS");
  return n ? std::max(1, std::atoi(n)) : 20;
}

// Current steps from 100 to 300 pA in sweeps of 45 s: 900,001 samples at
// 0.05 ms. The step lasts from 100 to 900 ms, as `velmora-cli synth
// --protocol steps --duration 45000` writes it, or, with `throughout`, all
// but the last 100 ms: then each sweep holds some 2,200 spikes to measure.
struct StepRecording {
  fs::path dir;
  Session listed;  // the list of files read, nothing loaded
  std::vector<int> all;
  Session session;  // every sweep loaded, for the parts of the analysis
  Settings settings = StartupSettings();

  explicit StepRecording(bool throughout)
      : dir(fs::temp_directory_path() /
            fmt::format("velmora-bench-fi-{}-{}", ::getpid(), throughout ? "throughout" : "step")) {
    SynthSettings s;
    s.protocol = SynthProtocol::Steps;
    s.duration = 45000;
    s.steps.nSteps = Sweeps();
    s.steps.Ifirst = 100, s.steps.Ilast = 300;
    if (throughout) s.steps.tStimStart = 100, s.steps.tStimEnd = 44900;
    NullSink warnings;
    if (!WriteSynthRecording(s, dir, warnings)) std::abort();
    listed.dataDir = dir;
    auto entries = ReadListOfFiles(dir, dir, listed.rec, warnings);
    if (!entries) std::abort();
    listed.listed = *entries;
    all.resize(listed.listed.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
  }
  ~StepRecording() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  Session& Loaded() {
    if (session.rec.nFiles == 0) {
      session = listed;
      NullSink warnings;
      if (!LoadSelectedSweeps(session, settings, all, warnings)) std::abort();
    }
    return session;
  }
};

// Each written at its first use, and removed at exit.
StepRecording& Shared(bool throughout = true) {
  if (!throughout) {
    static StepRecording step(false);
    return step;
  }
  static StepRecording r(true);
  return r;
}

// Wall-clock and processor time (all threads) of a stretch of work, ms.
struct Stopwatch {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  double cpu = ProcessCpuMs();
  static double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
  }
  double WallMs() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count();
  }
  double CpuMs() const { return ProcessCpuMs() - cpu; }
};

// `velmora-cli fi` on the directory: the list's selection loaded, then
// FICurves, from a fresh session; against reading every parameter file and
// trace once, which no run can do without. flow / read is what the run costs
// beyond its reading; the aim is at most 1.15. The two alternate, and each
// reports its fastest time: other work on a shared machine only ever adds
// to a time. Processor time (of all threads) is less at the mercy of that
// work than the wall clock. Where the machine's speed drifts, the median of
// the ratios of a read and the run right after it is the steadier figure.
void BM_FiFlowAgainstReading(benchmark::State& state) {
  StepRecording& r = Shared(state.range(0) != 0);
  NullSink warnings;
  const fs::path out = r.dir / "flow";
  fs::create_directories(out);
  double readMs = 1e300, flowMs = 1e300, readCpuMs = 1e300, flowCpuMs = 1e300;
  double coldMs = 0, coldCpuMs = 0;
  std::vector<double> pairs;  // flow / read of each warm run
  // One session for all runs, as in the program, where every selection
  // after the first loads into the memory of the one before. The first run
  // finds none: the memory of 20 sweeps is the system's to give first.
  Session session = r.listed;
  bool cold = true;
  for (auto _ : state) {
    Stopwatch read;
    {
      Recording rec;
      for (const ListedRecording& e : r.listed.listed)
        if (!LoadSweepFiles(rec, r.dir / e.trace, warnings)) state.SkipWithError("read failed");
      benchmark::DoNotOptimize(rec.raw.VRaw.data());
    }
    const double readWallMs = read.WallMs();
    readMs = std::min(readMs, readWallMs);
    readCpuMs = std::min(readCpuMs, read.CpuMs());

    Settings settings = r.settings;
    settings.fi.AppendOutput = false;
    Stopwatch flow;
    auto run = FICurvesOfSelection(session, settings, r.all, out, warnings);
    if (!run || !run->stopped.empty()) state.SkipWithError("F-I run failed");
    if (cold) {
      coldMs = flow.WallMs(), coldCpuMs = flow.CpuMs();
      cold = false;
      continue;
    }
    flowMs = std::min(flowMs, flow.WallMs());
    flowCpuMs = std::min(flowCpuMs, flow.CpuMs());
    pairs.push_back(flow.WallMs() / readWallMs);
  }
  std::sort(pairs.begin(), pairs.end());
  if (!pairs.empty()) state.counters["pair_median"] = pairs[pairs.size() / 2];
  state.counters["sweeps"] = static_cast<double>(r.all.size());
  state.counters["read_ms"] = readMs;
  state.counters["flow_ms"] = flowMs;
  state.counters["flow_per_read"] = flowMs / readMs;
  state.counters["read_cpu_ms"] = readCpuMs;
  state.counters["flow_cpu_ms"] = flowCpuMs;
  state.counters["flow_per_read_cpu"] = flowCpuMs / readCpuMs;
  state.counters["cold_flow_ms"] = coldMs;
  state.counters["cold_flow_cpu_ms"] = coldCpuMs;
}

// Everything else an F-I run does with a loaded sweep: filter, draw, detect,
// analyse the train, plot and append the records.
void BM_FiAnalysis(benchmark::State& state) {
  StepRecording& r = Shared();
  Session& session = r.Loaded();
  NullSink warnings;
  const fs::path out = r.dir / "analysis";
  fs::create_directories(out);
  for (auto _ : state) {
    auto files = ResultFileSet::Open(out, false, warnings);
    if (!files) {
      state.SkipWithError("result files");
      break;
    }
    for (int j = 1; j <= session.rec.nFiles; ++j) {
      state.PauseTiming();
      SweepSlot raw = session.rec.traces[j];
      state.ResumeTiming();
      FilterVoltage(raw, session.rec.dt, r.settings.filter, warnings);
      std::swap(raw, session.rec.traces[j]);
      DrawSweep(session, j, r.settings);
      DetectSpikes(session.spikes, session.rec, j, r.settings.spikes);
      ShowSpikes(session.spikes, session.charts.voltage, nullptr);
      double tOff = session.rec.tOff;
      const TrainFI train = AnalyseTrain(session.spikes, session.rec.tOn, tOff, r.settings.fi);
      PlotSweepFI(session.charts.fiCurrent, session.charts.fiConductance, session.spikes,
                  {j, session.gClamped, session.iClamped, session.spikes.nSpikes, train.nTrain, train.nuLast});
      if (!files->Append({session.gClamped, session.iClamped, 0, session.rec.tOn, tOff, train.nuLast}, session.spikes))
        state.SkipWithError("append failed");
      state.PauseTiming();
      std::swap(raw, session.rec.traces[j]);  // the voltage as before, for the next iteration
      state.ResumeTiming();
    }
  }
  state.counters["spikes_last_sweep"] = session.spikes.nSpikes;
}

// FICurves over the loaded sweeps, which reads no file again.
void BM_FiCurvesOverLoadedSweeps(benchmark::State& state) {
  StepRecording& r = Shared();
  Session& session = r.Loaded();
  NullSink warnings;
  const fs::path out = r.dir / "whole";
  fs::create_directories(out);
  Settings settings = r.settings;
  settings.fi.AppendOutput = false;
  for (auto _ : state) {
    auto run = FICurves(session, settings, out, warnings);
    if (!run || !run->stopped.empty()) state.SkipWithError("F-I run failed");
  }
  state.counters["sweeps"] = session.rec.nFiles;
}

BENCHMARK(BM_FiFlowAgainstReading)
    ->ArgName("spikes_throughout")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9)
    ->UseRealTime();
BENCHMARK(BM_FiAnalysis)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FiCurvesOverLoadedSweeps)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace velmora
