#include "actions/FiRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "actions/LoadedData.h"
#include "actions/ReadAndDraw.h"
#include "modelcell/Synth.h"
#include "recording/ListOfFiles.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

// The whole run on the model cell's current steps: the spike count of every
// sweep is the number of spikes the cell fired in the stimulus window, and
// every sweep has its records.
TEST(FICurves, ModelCellStepsCountTheTrueSpikes) {
  testing::TempDir dir;
  SynthSettings synth;  // 8 steps from -50 to 300 pA, stimulus 100..900 ms
  CollectingSink warnings;
  const auto written = WriteSynthRecording(synth, dir.path(), warnings);
  ASSERT_TRUE(written);
  Session session;
  session.dataDir = dir.path();
  auto listed = ReadListOfFiles(dir.path(), dir.path(), session.rec, warnings);
  ASSERT_TRUE(listed);
  session.listed = *listed;
  ASSERT_EQ(session.listed.size(), written->size());
  Settings settings = StartupSettings();
  std::vector<int> all(session.listed.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
  ASSERT_TRUE(LoadSelectedSweeps(session, settings, all, warnings));

  const auto run = FICurves(session, settings, dir.path(), warnings);
  ASSERT_TRUE(run) << run.error().What();
  EXPECT_EQ(run->stopped, "");
  ASSERT_EQ(run->sweeps.size(), written->size());
  int total = 0;
  for (std::size_t k = 0; k < written->size(); ++k) {
    const SynthSweep& truth = (*written)[k];
    const auto inWindow = std::count_if(truth.spikeTimes.begin(), truth.spikeTimes.end(), [&](double t) {
      return t > synth.steps.tStimStart && t <= synth.steps.tStimEnd;
    });
    const FISweep& got = run->sweeps[k];
    EXPECT_EQ(got.nSpikes, inWindow) << truth.trace;
    EXPECT_DOUBLE_EQ(got.Iclamp, truth.Istep.value_or(-1)) << truth.trace;
    total += got.nSpikes;
  }
  EXPECT_GT(run->sweeps.back().nSpikes, 5);  // the strongest step fires a train
  const auto lines = [&](const char* name) {
    const std::string text = dir.Read(name);
    return std::count(text.begin(), text.end(), '\n');
  };
  EXPECT_EQ(lines("out_nu.dat"), 1 + static_cast<long>(written->size()));
  EXPECT_EQ(lines("out_g_I_i_all.dat"), 1 + total);
  EXPECT_EQ(run->sweeps.back().slot, session.rec.iFile);
}

// A disk that fills up during a run ends it with a message naming the
// file; what the earlier runs wrote stays, and every file still ends in a
// whole record.
TEST(FICurves, FullDiskEndsTheRunAndKeepsTheRecordsBefore) {
  testing::TempDir dir;
  CollectingSink warnings;
  SynthSettings synth;
  ASSERT_TRUE(WriteSynthRecording(synth, dir.path(), warnings));
  Session session;
  session.dataDir = dir.path();
  auto listed = ReadListOfFiles(dir.path(), dir.path(), session.rec, warnings);
  ASSERT_TRUE(listed);
  session.listed = *listed;
  Settings settings = StartupSettings();
  std::vector<int> all(session.listed.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
  ASSERT_TRUE(LoadSelectedSweeps(session, settings, all, warnings));
  ASSERT_TRUE(FICurves(session, settings, dir.path(), warnings));

  std::vector<std::pair<std::string, std::string>> before;
  std::uintmax_t largest = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    if (entry.path().filename().string().starts_with("out_")) {
      before.emplace_back(entry.path().filename().string(), dir.Read(entry.path().filename().string()));
      largest = std::max(largest, entry.file_size());
    }
  ASSERT_EQ(before.size(), 11u);

  Result<FIRun> run = FIRun{};
  {
    testing::FileSizeLimit full(largest + 40);
    run = FICurves(session, settings, dir.path(), warnings);
  }
  ASSERT_FALSE(run);
  EXPECT_THAT(run.error().What(), ::testing::ContainsRegex("out_[A-Za-z_]+\\.dat: cannot write"));
  for (const auto& [name, old] : before) {
    const std::string now = dir.Read(name);
    EXPECT_TRUE(now.starts_with(old)) << name;
    EXPECT_TRUE(now.ends_with("\r\n")) << name;
  }
}

// Nothing is read, plotted or written when the bridge is below "to be > ".
TEST(FICurves, BridgeConditionStopsBeforeTheResultFiles) {
  testing::TempDir dir;
  Session session;
  session.dataDir = dir.path();
  session.rec.nFiles = 3;
  MarkLoaded(session, FileFormat::Main, {});
  Settings settings = StartupSettings();
  settings.fi.ToBeAbove = 5;
  session.Bridge = 2;
  CollectingSink warnings;
  const auto run = FICurves(session, settings, dir.path(), warnings);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->stopped, "Bridge 2 is below \"to be > \" 5");
  EXPECT_FALSE(std::filesystem::exists(dir / "out_nu.dat"));

  session.rec.nFiles = 0;
  settings.fi.ToBeAbove = 0;
  EXPECT_THAT(FICurves(session, settings, dir.path(), warnings)->stopped,
              ::testing::StartsWith("nothing is loaded from "));
}

}  // namespace
}  // namespace velmora
