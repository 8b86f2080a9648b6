// A directory of ABF files analysed as the main format would analyse the
// same sweeps: the F-I result files of the real step recordings and of the
// model cell's ABF equal those of the sweeps written in the main format, and
// every analysis of a sweep runs on ABF slots.
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "actions/FiRun.h"
#include "actions/Overlay.h"
#include "actions/ReadAndDraw.h"
#include "actions/StatisticsRun.h"
#include "analyses/Lissajous.h"
#include "analyses/Splitting.h"
#include "modelcell/AbfWriter.h"
#include "modelcell/Synth.h"
#include "recording/AbfSweeps.h"
#include "recording/ParameterFile.h"
#include "recording/TextIO.h"
#include "spikes/ResultFiles.h"
#include "support/AbfSamples.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

const fs::path& kSamples = testing::kAbfSamples;

// The test's own writer of the main format: every sweep of the file as one
// text trace "s<k>_trace<k>_Err.cc" with its own parameter file "s<k>.par",
// built from the reader's channels, command and step, not from the loader.
void WriteAsMainFormat(const AbfFile& abf, const fs::path& dir) {
  const auto channels = ChooseChannels(abf);
  ASSERT_TRUE(channels) << channels.error().What();
  const int dac = CommandDac(abf);
  const double toPA = abf.dacs[dac].unit == "nA" ? 1000 : 1;
  std::string list;
  for (int k = 0; k < static_cast<int>(abf.sweeps.size()); ++k) {
    const AbfStimulus step = StimulusOfSweep(abf, k);
    const AbfCommand command = RebuildCommand(abf, dac, k);
    ASSERT_TRUE(command.rebuilt) << command.why;
    const auto V = abf.Sweep(channels->voltage, k);
    RecordingParameters par;
    par.nPar = static_cast<int>(V.size());
    par.dtPar = abf.dt;
    par.TimeFactor = 1;
    par.ProtocolKind = step.ProtocolKind;
    par.tStimStart = step.tStimStart;
    par.tStimEnd = step.tStimEnd;
    par.ClampWave.I0 = step.I0;
    par.StepPars = {step.Ifirst, step.Ilast, 1, step.nSteps};
    const std::string base = fmt::format("s{}", k + 1);
    const std::string trace = fmt::format("{}_trace{}_Err.cc", base, k + 1);
    ASSERT_TRUE(WriteParameterFile(dir / (base + ".par"), par));
    std::string text;
    for (std::size_t i = 0; i < V.size(); ++i) {
      const double Icom = command.level[i] * toPA;
      const double Ireal = channels->current >= 0 ? abf.Sweep(channels->current, k)[i] * channels->currentScale : Icom;
      // Sample 0 is at dt: a sample at time 0 would not be kept.
      text += fmt::format("{} {} {} {} 0 0\r\n", static_cast<double>(i + 1) * abf.dt, V[i] * channels->voltageScale,
                          Icom, Ireal);
    }
    ASSERT_TRUE(WriteFileAtomically(dir / trace, text));
    list += trace + "\r\n" + base + ".par\r\n";
  }
  ASSERT_TRUE(WriteFileAtomically(dir / "ListOfFiles", list));
}

// The F-I run over every listed recording of `dir`, its files rewritten.
FIRun FiOfDirectory(const fs::path& dir) {
  Session session;
  CollectingSink warnings;
  session.dataDir = dir;
  auto listed = ReadListOfFiles(dir, {}, session.rec, warnings);
  EXPECT_TRUE(listed);
  session.listed = *listed;
  std::vector<int> all(session.listed.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
  Settings settings = StartupSettings();
  settings.fi.AppendOutput = false;
  auto run = FICurvesOfSelection(session, settings, all, dir, warnings);
  EXPECT_TRUE(run) << run.error().What();
  EXPECT_EQ(run->stopped, "");
  return run ? *run : FIRun{};
}

int Spikes(const FIRun& run) {
  int n = 0;
  for (const FISweep& s : run.sweeps) n += s.nSpikes;
  return n;
}

// Both runs analysed the same sweeps, each to a record, and wrote the same eleven files.
void ExpectSameResults(const TempDir& abfDir, const FIRun& abfRun, const TempDir& mainDir, const FIRun& mainRun) {
  ASSERT_EQ(abfRun.sweeps.size(), mainRun.sweeps.size());
  for (std::size_t k = 0; k < abfRun.sweeps.size(); ++k) {
    EXPECT_EQ(abfRun.sweeps[k].nSpikes, mainRun.sweeps[k].nSpikes) << "sweep " << k + 1;
    EXPECT_EQ(abfRun.sweeps[k].Iclamp, mainRun.sweeps[k].Iclamp) << "sweep " << k + 1;
  }
  const std::string nu = abfDir.Read("out_nu.dat");
  EXPECT_EQ(std::count(nu.begin(), nu.end(), '\n'), 1 + static_cast<long>(abfRun.sweeps.size()));
  for (std::string_view name : kResultFileNames) {
    const std::string a = abfDir.Read(name), m = mainDir.Read(name);
    EXPECT_FALSE(a.empty()) << name;
    EXPECT_TRUE(a == m) << name << " differs:\n" << a.substr(0, 600) << "\n---\n" << m.substr(0, 600);
  }
}

struct StepRecording {
  const char* file;
  bool fires;  // one of them is a passive model cell
};

class AbfSampleFi : public testing::WithAbfSamples, public ::testing::WithParamInterface<StepRecording> {};

// The step recordings, ABF 1 and 2, one with a user list: F-I on the
// directory holding the file equals F-I on its sweeps in the main format.
TEST_P(AbfSampleFi, SameResultFilesAsTheSweepsInTheMainFormat) {
  const char* file = GetParam().file;
  TempDir abfDir, mainDir;
  fs::create_symlink(kSamples / file, abfDir / file);
  NullSink warnings;
  const auto abf = ReadAbf(kSamples / file, warnings);
  ASSERT_TRUE(abf) << abf.error().What();
  ASSERT_EQ(StimulusOfSweep(*abf, 0).ProtocolKind, 2);
  WriteAsMainFormat(*abf, mainDir.path());
  if (HasFatalFailure()) return;
  const FIRun fromAbf = FiOfDirectory(abfDir.path());
  const FIRun fromMain = FiOfDirectory(mainDir.path());
  ExpectSameResults(abfDir, fromAbf, mainDir, fromMain);
  EXPECT_EQ(Spikes(fromAbf) > 0, GetParam().fires);
  ASSERT_EQ(fromAbf.names.size(), abf->sweeps.size());
  EXPECT_EQ(fs::path(fromAbf.names[1]).filename(), fmt::format("{} #2", file));
}

INSTANTIATE_TEST_SUITE_P(StepRecordings, AbfSampleFi,
                         ::testing::Values(StepRecording{"190619B_0003.abf", true}, StepRecording{"18711001.abf", true},
                                           StepRecording{"2020_03_02_0000.abf", false}),
                         [](const auto& info) {
                           std::string name = fs::path(info.param.file).stem().string();
                           std::ranges::replace(name, '_', 'x');
                           return "f" + name;
                         });

// The model cell's steps: written to ABF (int16) by the synthesiser; its F-I
// results equal those of its own sweeps in the main format, and count the
// spikes and steps of the cell's own main-format recording.
TEST(AbfModelCellFi, SameResultsAsTheMainFormat) {
  TempDir synthDir, abfDir, mainDir;
  CollectingSink warnings;
  SynthSettings synth;
  const auto written = WriteSynthRecording(synth, synthDir.path(), warnings, true);
  ASSERT_TRUE(written) << written.error().What();
  ASSERT_TRUE(WriteStepsAbf(abfDir / "steps.abf", synth, *written, warnings));
  const auto abf = ReadAbf(abfDir / "steps.abf", warnings);
  ASSERT_TRUE(abf);
  WriteAsMainFormat(*abf, mainDir.path());
  if (HasFatalFailure()) return;
  const FIRun fromAbf = FiOfDirectory(abfDir.path());
  ExpectSameResults(abfDir, fromAbf, mainDir, FiOfDirectory(mainDir.path()));
  EXPECT_GT(Spikes(fromAbf), 0);

  const FIRun fromSynth = FiOfDirectory(synthDir.path());
  ASSERT_EQ(fromAbf.sweeps.size(), fromSynth.sweeps.size());
  for (std::size_t k = 0; k < fromAbf.sweeps.size(); ++k) {
    EXPECT_EQ(fromAbf.sweeps[k].nSpikes, fromSynth.sweeps[k].nSpikes) << "sweep " << k + 1;
    EXPECT_NEAR(fromAbf.sweeps[k].Iclamp, fromSynth.sweeps[k].Iclamp, 1e-3) << "sweep " << k + 1;
  }
}

// Loaded from an ABF directory, a sweep goes through every analysis of a
// sweep: read-and-draw with stimuli, overlay, statistics, Lissajous,
// splitting; the batch finds the directories of ABF files.
TEST(AbfSlots, EveryAnalysisOfASweepRuns) {
  TempDir synthDir, parent;
  CollectingSink warnings;
  SynthSettings synth;
  const auto written = WriteSynthRecording(synth, synthDir.path(), warnings, true);
  ASSERT_TRUE(written);
  const fs::path dir = parent / "cell1";
  fs::create_directories(dir);
  ASSERT_TRUE(WriteStepsAbf(dir / "steps.abf", synth, *written, warnings));

  Session session;
  session.dataDir = dir;
  auto listed = ReadListOfFiles(dir, {}, session.rec, warnings);
  ASSERT_TRUE(listed);
  session.listed = *listed;
  Settings settings = StartupSettings();
  settings.draw.alignCurrent = true;
  ASSERT_TRUE(LoadSelectedSweeps(session, settings, {6, 7}, warnings));
  auto drawn = ReadAndDraw(session, 2, settings, warnings);
  ASSERT_TRUE(drawn) << drawn.error().What();
  EXPECT_GT(session.spikes.nSpikes, 3);
  EXPECT_TRUE(fs::exists(dir / "steps.abf.8.stim"));  // the stimuli of sweep 8, found and kept beside the file
  EXPECT_FALSE(FindSeries(session.charts.voltage, "V, exp.")->points.empty());

  settings.Smpl = 2;
  SuperimposeV(session, settings, warnings);
  EXPECT_FALSE(session.charts.overlay.series.empty());
  EXPECT_FALSE(session.charts.overlay.series[0].points.empty());

  StatisticsWindow window;
  const StatisticsState stats = AnalyzeStatistics(session, 2, StatisticsSettings{}, window, warnings);
  EXPECT_GT(stats.StatCount, 0);

  LissajousCharts lissajous;
  DrawLissajous(session.rec, 2, session.FC, {.tStart = session.rec.tOn, .tEnd = session.rec.tOff}, lissajous);
  EXPECT_FALSE(FindSeries(lissajous.current, "I vs. V")->points.empty());

  MarkedTraces marked;
  SplitSettings split;
  split.I2 = 50;
  split.GL = MarkTraceAtZeroCurrent(marked, session.rec, 1);
  MarkTraceAtCurrent(marked, session.rec, 2);
  SmoothMarkedTraces(marked, split);
  SplitCharts charts;
  const auto done = SplitFromTwoTraces(marked, split, session.rec.dt, 30, charts, dir);
  ASSERT_TRUE(done) << done.error().What();
  EXPECT_GT(*done, 0);

  fs::create_directories(parent / "cell2");
  fs::copy_file(dir / "steps.abf", parent / "cell2" / "steps.abf");
  Session batchSession;
  batchSession.dataDir = parent.path();
  const auto batch = TreatAllDirs(batchSession, settings, parent.path(), warnings);
  ASSERT_TRUE(batch) << batch.error().What();
  EXPECT_EQ(batch->dirs.kind, DirKind::Abf);
  ASSERT_EQ(batch->runs.size(), 2u);
  EXPECT_EQ(batch->runs[1].D, (fs::path("cell2") / "steps.abf").string());
  EXPECT_EQ(batch->runs[1].run.sweeps.size(), written->size());
  EXPECT_EQ(batchSession.dataDir, parent.path());
  const std::string nu = parent.Read("out_nu.dat");
  EXPECT_EQ(std::count(nu.begin(), nu.end(), '\n'), 1 + 2 * static_cast<long>(written->size()));
}

}  // namespace
}  // namespace velmora
