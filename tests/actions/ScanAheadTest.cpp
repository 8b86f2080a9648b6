// The F-I run over a selection filters and scans its sweeps while the later
// ones are still read. Whatever the worker did ahead must leave exactly what
// loading first and then running would: the same files, charts, warnings and
// spike list, down to the entries above the last sweep's count.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "actions/FiRun.h"
#include "actions/ReadAndDraw.h"
#include "modelcell/Synth.h"
#include "recording/Filter.h"
#include "recording/ListOfFiles.h"
#include "spikes/ResultFiles.h"
#include "support/ListedData.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::AllListed;
using testing::ListedSession;
using testing::ResultFileTexts;
using testing::TempDir;

// Ten current steps with a firing-clamp sweep among them, listed in one
// directory: eleven sweeps, so that the worker filters a group of eight, a
// group of two and the last sweep alone, and meets a sweep it cannot scan.
class ScanAheadRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_ = new TempDir;
    NullSink warnings;
    SynthSettings steps;
    steps.protocol = SynthProtocol::Steps;
    steps.duration = 400;
    steps.steps.nSteps = 10;
    steps.steps.Ifirst = 50, steps.steps.Ilast = 500;
    steps.steps.tStimStart = 50, steps.steps.tStimEnd = 350;
    ASSERT_TRUE(WriteSynthRecording(steps, data_->path() / "steps", warnings));
    SynthSettings fc;
    fc.protocol = SynthProtocol::FcCalibration;
    fc.duration = 1000;
    fc.fcCalibration.I = {40};
    fc.fcCalibration.G = {4};
    ASSERT_TRUE(WriteSynthRecording(fc, data_->path() / "fc", warnings));

    const fs::path mixed = data_->path() / "mixed";
    fs::create_directories(mixed);
    std::string list;
    const auto add = [&](const char* from) {
      Session s;
      auto entries = ReadListOfFiles(data_->path() / from, {}, s.rec, warnings);
      EXPECT_TRUE(entries) << from;
      return entries ? *entries : std::vector<ListedRecording>{};
    };
    const auto stepEntries = add("steps");
    const auto fcEntries = add("fc");
    ASSERT_EQ(stepEntries.size(), 10u);
    ASSERT_FALSE(fcEntries.empty());
    const auto take = [&](const char* from, const ListedRecording& e) {
      for (const std::string& name : {e.trace, e.second}) {
        fs::copy_file(data_->path() / from / name, mixed / name, fs::copy_options::overwrite_existing);
        list += name + "\r\n";
      }
    };
    // After the firing-clamp sweep the currents fall: each sweep fires less
    // than the one before, whose entries above its count stay in the list.
    for (int k = 0; k < 5; ++k) take("steps", stepEntries[k]);
    take("fc", fcEntries[0]);
    for (int k = 9; k >= 5; --k) take("steps", stepEntries[k]);
    std::ofstream(mixed / "ListOfFiles", std::ios::binary) << list;
  }
  static void TearDownTestSuite() {
    delete data_;
    data_ = nullptr;
  }

  static TempDir* data_;
};

TempDir* ScanAheadRun::data_ = nullptr;

auto SpikeState(const SpikeList& s) {
  return std::tie(s.nSpikes, s.tAP, s.ISI, s.VT, s.tVT, s.Vpeak, s.WidthAP, s.VAHP, s.VAHPfast, s.Vav);
}

std::vector<std::vector<ChartPoint>> Points(const Session& s) {
  std::vector<std::vector<ChartPoint>> points;
  for (const Chart* chart : {&s.charts.voltage, &s.charts.current, &s.charts.fiCurrent, &s.charts.fiConductance})
    for (const Series& series : chart->series) points.push_back(series.points);
  return points;
}

TEST_F(ScanAheadRun, LeavesWhatLoadingAndThenRunningLeaves) {
  struct Case {
    const char* what;
    std::function<void(Settings&)> set;
  };
  const Case cases[] = {
      {"start-up settings", [](Settings&) {}},
      {"no filter", [](Settings& s) { s.filter.on = false; }},
      // Above the cap the run filters each sweep itself and warns.
      {"too many iterations", [](Settings& s) { s.filter.iterations = kMaxFilterIterations + 1; }},
      // The train analysis changes the list that the next scan starts from.
      {"broken trains zeroed",
       [](Settings& s) {
         s.fi.CutFactor = 1.05;
         s.fi.ZeroOnBreak = true;
         s.fi.nuLastZeroOnBreak = true;
       }},
      {"interval limit", [](Settings& s) { s.fi.LimitInterval = 180; }},
  };
  const Session listed = ListedSession(data_->path() / "mixed");
  ASSERT_EQ(listed.listed.size(), 11u);
  for (const Case& c : cases) {
    Settings settings = StartupSettings();
    settings.fi.AppendOutput = false;
    c.set(settings);
    TempDir out;
    fs::create_directories(out / "ahead");
    fs::create_directories(out / "after");

    Session ahead = listed;
    CollectingSink aheadWarnings;
    auto run = FICurvesOfSelection(ahead, settings, AllListed(ahead), out / "ahead", aheadWarnings);
    ASSERT_TRUE(run && run->stopped.empty()) << c.what;

    Session after = listed;
    CollectingSink afterWarnings;
    ASSERT_TRUE(LoadSelection(after, settings, AllListed(after), afterWarnings)) << c.what;
    auto reference = FICurves(after, settings, out / "after", afterWarnings);
    ASSERT_TRUE(reference && reference->stopped.empty()) << c.what;

    EXPECT_EQ(ResultFileTexts(out / "ahead"), ResultFileTexts(out / "after")) << c.what;
    ASSERT_EQ(run->sweeps.size(), reference->sweeps.size()) << c.what;
    for (std::size_t k = 0; k < run->sweeps.size(); ++k) {
      EXPECT_EQ(run->sweeps[k].nSpikes, reference->sweeps[k].nSpikes) << c.what << ", sweep " << k + 1;
      EXPECT_EQ(run->sweeps[k].nuLast, reference->sweeps[k].nuLast) << c.what << ", sweep " << k + 1;
    }
    EXPECT_TRUE(SpikeState(ahead.spikes) == SpikeState(after.spikes)) << c.what;
    EXPECT_EQ(Points(ahead), Points(after)) << c.what;
    EXPECT_EQ(aheadWarnings.warnings, afterWarnings.warnings) << c.what;
    for (int j = 1; j <= ahead.rec.nFiles; ++j) {
      EXPECT_EQ(ahead.rec.traces[j].V, after.rec.traces[j].V) << c.what << ", slot " << j;
      EXPECT_EQ(ahead.rec.traces[j].filteredIterations, after.rec.traces[j].filteredIterations) << c.what;
    }
  }
}

// A sweep that cannot be read stops the load while the worker is busy with
// the sweeps before it: the error names the file and nothing stays loaded.
TEST_F(ScanAheadRun, AFailedReadAmidTheSelectionLeavesNothingLoaded) {
  TempDir dir;
  const Session mixed = ListedSession(data_->path() / "mixed");
  for (const ListedRecording& e : mixed.listed)
    for (const std::string& name : {e.trace, e.second})
      fs::copy_file(data_->path() / "mixed" / name, dir / name);
  fs::copy_file(data_->path() / "mixed" / "ListOfFiles", dir / "ListOfFiles");
  const std::string broken = mixed.listed[9].trace;
  std::ofstream(dir / broken, std::ios::binary | std::ios::trunc) << "0.00 -65.0 0.0\r\n0.05 not a number\r\n";

  Session session = ListedSession(dir.path());
  Settings settings = StartupSettings();
  NullSink warnings;
  auto run = FICurvesOfSelection(session, settings, AllListed(session), dir.path(), warnings);
  ASSERT_FALSE(run);
  EXPECT_NE(run.error().What().find(broken), std::string::npos) << run.error().What();
  EXPECT_EQ(session.rec.nFiles, 0);
  EXPECT_EQ(session.rec.traces[1].nLast, -1);
  EXPECT_FALSE(fs::exists(dir / kResultFileNames[0]));
}

}  // namespace
}  // namespace velmora
