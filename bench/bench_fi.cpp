// The F-I run over long text sweeps of the model cell (900,001 samples each),
// split into reading the files and analysing the loaded sweeps.
//
// VELMORA_BENCH_FI_SWEEPS sets the number of sweeps (default 5: about 300 MB
// of traces; 50 needs about 3 GB of disk and 1.1 GB of memory). The
// recording is written to the temporary directory and removed at exit.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
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
  return n ? std::max(1, std::atoi(n)) : 5;
}

// Current steps from 100 to 300 pA held for all but the first and last
// 100 ms of 45 s: 900,001 samples at 0.05 ms, spikes throughout.
struct Recording50 {
  fs::path dir = fs::temp_directory_path() / ("velmora-bench-fi-" + std::to_string(::getpid()));
  Session session;
  Settings settings = StartupSettings();

  Recording50() {
    SynthSettings s;
    s.protocol = SynthProtocol::Steps;
    s.duration = 45000;
    s.steps.nSteps = Sweeps();
    s.steps.Ifirst = 100, s.steps.Ilast = 300;
    s.steps.tStimStart = 100, s.steps.tStimEnd = 44900;
    NullSink warnings;
    if (!WriteSynthRecording(s, dir, warnings)) std::abort();
    session.dataDir = dir;
    auto listed = ReadListOfFiles(dir, dir, session.rec, warnings);
    if (!listed) std::abort();
    session.listed = *listed;
    std::vector<int> all(session.listed.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
    if (!LoadSelectedSweeps(session, settings, all, warnings)) std::abort();
  }
  ~Recording50() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Recording50& Shared() {
  static Recording50 r;
  return r;
}

// What ReadSweep spends in the files: parameter file and trace, then the slot.
void BM_FiReading(benchmark::State& state) {
  Recording50& r = Shared();
  NullSink warnings;
  for (auto _ : state)
    for (int j = 1; j <= r.session.rec.nFiles; ++j)
      if (!ReloadSweep(r.session.rec, j, r.settings.load, warnings)) state.SkipWithError("read failed");
  state.counters["sweeps"] = r.session.rec.nFiles;
}

// Everything else an F-I run does with a loaded sweep: filter, draw, detect,
// analyse the train, plot and append the records.
void BM_FiAnalysis(benchmark::State& state) {
  Recording50& r = Shared();
  Session& session = r.session;
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
      std::swap(raw, session.rec.traces[j]);  // the unfiltered sweep back for the next iteration
      state.ResumeTiming();
    }
  }
  state.counters["spikes_last_sweep"] = session.spikes.nSpikes;
}

// The whole analysis as the CLI runs it after loading: FICurves.
void BM_FiCurvesWhole(benchmark::State& state) {
  Recording50& r = Shared();
  NullSink warnings;
  const fs::path out = r.dir / "whole";
  fs::create_directories(out);
  Settings settings = r.settings;
  settings.fi.AppendOutput = false;
  for (auto _ : state) {
    auto run = FICurves(r.session, settings, out, warnings);
    if (!run || !run->stopped.empty()) state.SkipWithError("F-I run failed");
  }
  state.counters["sweeps"] = r.session.rec.nFiles;
}

BENCHMARK(BM_FiReading)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FiAnalysis)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FiCurvesWhole)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace velmora
