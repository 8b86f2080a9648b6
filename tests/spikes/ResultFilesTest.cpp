#include "spikes/ResultFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

enum { Nu, Vav, WidthAP, Vpeak, All, VAHP, VT, AdaptRatio, Rate, VAHPfast, Rheobase };

// G 2.5 nS, I 100 pA, tau_m 20: the prefix every record starts with.
const std::string P = "   2.50  100.00  0.1250  5.0000 ";

SweepResults Sweep(double tOn = 100, double tOff = 1100, double nuLast = 0) {
  return {2.5, 100, 20, tOn, tOff, nuLast};
}

// One spike 24 ms after the stimulus start at 100 ms, peak at 125 ms.
SpikeList OneSpike() {
  SpikeList s;
  s.nSpikes = 1;
  s.tAP[0] = 0.1, s.tAP[1] = 0.125;
  s.ISI[1] = 0.024;
  s.VT[1] = -50.123, s.Vpeak[1] = 30.5, s.VAHP[1] = -60.25, s.VAHPfast[1] = -55.5;
  s.WidthAP[1] = 0.75, s.Vav[1] = -62.34;
  return s;
}

// A sweep without spikes still gets its per-sweep records: the count and
// the trailing space, nothing in the per-spike and rheobase tables.
TEST(SweepResultLines, SweepWithoutSpikesHasCountOnly) {
  const auto lines = SweepResultLines(Sweep(), SpikeList());
  for (int f : {Nu, Vav, WidthAP, Vpeak, VAHP, VT, AdaptRatio, VAHPfast})
    EXPECT_EQ(lines[f], P + "  0 \r\n") << kResultFileNames[f];
  EXPECT_EQ(lines[Rate], P + "  0       0.0       0.0\r\n");
  EXPECT_EQ(lines[All], "");
  EXPECT_EQ(lines[Rheobase], "");
}

// The rheobase table holds exactly the sweeps with one spike; its last
// value, like the per-spike table's, has no blank after it.
TEST(SweepResultLines, OneSpikeWritesEveryTableAndTheRheobase) {
  const auto lines = SweepResultLines(Sweep(100, 1100, 0), OneSpike());
  const std::string params = "-50.123 80.623 10.127  0.750 -60.250 -55.500  125.00\r\n";
  const std::pair<int, std::string> want[] = {
      {Nu, P + "  1   41.7 \r\n"},
      {Vav, P + "  1  -62.3 \r\n"},
      {WidthAP, P + "  1  0.750 \r\n"},
      {Vpeak, P + "  1 30.500 \r\n"},
      {All, P + "  1   40.0 " + params},
      {VAHP, P + "  1 -60.250 \r\n"},
      {VT, P + "  1 -50.123 \r\n"},
      {AdaptRatio, P + "  1 \r\n"},
      {Rate, P + "  1       1.0       0.0\r\n"},
      {VAHPfast, P + "  1 -55.500 \r\n"},
      {Rheobase, P + "0    0.0 " + params},
  };
  for (const auto& [file, line] : want) EXPECT_EQ(lines[file], line) << kResultFileNames[file];
}

// Other programs split these columns at blanks: a wide value widens its
// field but keeps the blank after it.
TEST(SweepResultLines, ValueOfThousandWidensWithoutLosingTheBlank) {
  SpikeList s = OneSpike();
  s.WidthAP[1] = 1234.5678;
  s.Vpeak[1] = -1000;
  const auto lines = SweepResultLines(Sweep(), s);
  EXPECT_EQ(lines[WidthAP], P + "  1 1234.568 \r\n");
  EXPECT_EQ(lines[Vpeak], P + "  1 -1000.000 \r\n");
  EXPECT_THAT(lines[All], HasSubstr(" 1234.568 -60.250 "));
}

// Ratios to tau_m are 0 when the file has no tau_m, not infinities.
TEST(SweepResultLines, MissingTauMGivesZeroRatios) {
  SweepResults r = Sweep();
  r.tau_m = 0;
  EXPECT_EQ(SweepResultLines(r, SpikeList())[Nu], "   2.50  100.00  0.0000  0.0000   0 \r\n");
}

TEST(SweepResultLines, RateAndAdaptationRatioEdges) {
  SpikeList three;
  three.nSpikes = 3;
  three.ISI[1] = 0.01, three.ISI[2] = 0.02, three.ISI[3] = 0.05;
  // An empty stimulus window has no mean rate: the text " 0 " stands in.
  EXPECT_EQ(SweepResultLines(Sweep(100, 100, 12.5), three)[Rate], P + "  3  0      12.5\r\n");
  EXPECT_EQ(SweepResultLines(Sweep(), three)[AdaptRatio], P + "  3  2.500 \r\n");
  // An interval limit that cut the train to one spike leaves ISI[2] set;
  // one spike has no adaptation all the same.
  SpikeList cut = three;
  cut.nSpikes = 1;
  EXPECT_EQ(SweepResultLines(Sweep(), cut)[AdaptRatio], P + "  1 \r\n");
  // An interval under 1 ms is rate 0, not 1000 Hz or more.
  SpikeList burst = three;
  burst.ISI[2] = 0.0009;
  EXPECT_THAT(SweepResultLines(Sweep(), burst)[Nu], HasSubstr("  3  100.0    0.0   20.0 \r\n"));
}

TEST(ResultHeader, EachFileHasItsOneHeaderLine) {
  EXPECT_EQ(ResultHeader(Nu),
            "% For each trace: 1-Gclamp, 2-Iclamp, 3-Gclamp/tau_m, 4-Iclamp/tau_m, 5-TotalNumberOfSpikes, "
            "6-Latency since start of stimulus and AP, 7-..-Reverse interspike intervals\r\n");
  EXPECT_EQ(ResultHeader(Rate),
            "% For each trace: 1-Gclamp, 2-Iclamp, 3-Gclamp/tau_m, 4-Iclamp/tau_m, 5-TotalNumberOfSpikes, 6-Rate "
            "based on TotalNumberOfSpikes per stimulus duration ,7-Rate based on "
            "NumberOfSpikesInLastOneThirdOfStimulationInterval (nuLast)\r\n");
  EXPECT_THAT(ResultHeader(All), ::testing::StartsWith("% For each spike: 1-Gclamp, "));
  EXPECT_THAT(ResultHeader(Rheobase), ::testing::StartsWith("% For the first spike: 1-Gclamp, 2-Iclamp, "));
  EXPECT_THAT(ResultHeader(AdaptRatio), HasSubstr("4-Iclamp/tau_m, 5-TotalNumberofSpikes, 6-Last ISI"));
}

// Appending runs accumulate under one header; rewriting starts afresh.
TEST(ResultFileSet, AppendKeepsRecordsAndRewriteEmpties) {
  TempDir dir;
  NullSink none;
  const SpikeList noSpikes;
  {
    auto first = ResultFileSet::Open(dir.path(), true, none);  // first run in an empty directory: headers
    ASSERT_TRUE(first);
    ASSERT_TRUE(first->Append(Sweep(), noSpikes));
  }
  {
    auto second = ResultFileSet::Open(dir.path(), true, none);
    ASSERT_TRUE(second);
    ASSERT_TRUE(second->Append(Sweep(), OneSpike()));
  }
  for (int f = 0; f < kResultFiles; ++f) {
    const std::string name(kResultFileNames[f]);
    const std::string header = ResultHeader(f);
    const std::string lines = SweepResultLines(Sweep(), noSpikes)[f] + SweepResultLines(Sweep(), OneSpike())[f];
    EXPECT_EQ(dir.Read(name), header + lines) << name;
  }
  ASSERT_TRUE(ResultFileSet::Open(dir.path(), false, none));
  for (int f = 0; f < kResultFiles; ++f)
    EXPECT_EQ(dir.Read(kResultFileNames[f]), ResultHeader(f)) << kResultFileNames[f];
}

// A result file gone while "out_nu.dat" is there must not restart without
// its header; the run ends before writing anything, naming it.
TEST(ResultFileSet, MissingFileEndsTheRunNamingIt) {
  TempDir dir;
  NullSink none;
  ASSERT_TRUE(ResultFileSet::Open(dir.path(), false, none));
  std::filesystem::remove(dir / "out_VT.dat");
  const auto opened = ResultFileSet::Open(dir.path(), true, none);
  ASSERT_FALSE(opened);
  EXPECT_THAT(opened.error().What(), HasSubstr("out_VT.dat"));
  EXPECT_THAT(opened.error().What(), HasSubstr("missing"));
  EXPECT_EQ(dir.Read("out_VAHP.dat"), ResultHeader(VAHP));
  EXPECT_FALSE(std::filesystem::exists(dir / "out_VT.dat"));
}

TEST(ResultFileSet, UnwritableDirectoryIsAnErrorNamingIt) {
  TempDir dir;
  NullSink none;
  const auto notADir = dir.Write("plain", "x");
  const auto opened = ResultFileSet::Open(notADir, false, none);
  ASSERT_FALSE(opened);
  EXPECT_THAT(opened.error().What(), HasSubstr("plain"));
}

// A disk that fills up in the middle of a sweep's records must not leave
// out_nu.dat a record ahead of out_VT.dat: every later append would pair
// the lines of different sweeps. The run's records go, the files before it stay.
TEST(ResultFileSet, FullDiskMidwayCutsAllElevenBackToTheRunsStart) {
  TempDir dir;
  NullSink none;
  {
    auto earlier = ResultFileSet::Open(dir.path(), true, none);
    ASSERT_TRUE(earlier);
    ASSERT_TRUE(earlier->Append(Sweep(), OneSpike()));
  }
  std::array<std::string, kResultFiles> before;
  for (int f = 0; f < kResultFiles; ++f) before[f] = dir.Read(kResultFileNames[f]);

  auto run = ResultFileSet::Open(dir.path(), true, none);
  ASSERT_TRUE(run);
  ASSERT_TRUE(run->Append(Sweep(), OneSpike()));
  Status s = Ok();
  {
    // Room for out_nu.dat's record, not for the per-spike table's longer one.
    testing::FileSizeLimit full(before[All].size() + 2);
    s = run->Append(Sweep(), OneSpike());
  }
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("out_g_I_i_all.dat: cannot write"));
  EXPECT_THAT(s.error().What(), HasSubstr("cut back"));
  for (int f = 0; f < kResultFiles; ++f) EXPECT_EQ(dir.Read(kResultFileNames[f]), before[f]) << kResultFileNames[f];
}

// A result file that is a link to a file elsewhere: neither the rewrite nor
// the append may truncate or extend what it points to.
TEST(ResultFileSet, LinkedResultFileIsRefusedAndItsTargetUntouched) {
  TempDir dir, elsewhere;
  NullSink none;
  ASSERT_TRUE(ResultFileSet::Open(dir.path(), false, none));
  const auto target = elsewhere.Write("precious.txt", "keep me\n");
  std::filesystem::remove(dir / "out_Rate.dat");
  std::filesystem::create_symlink(target, dir / "out_Rate.dat");
  for (const bool append : {true, false}) {
    const auto opened = ResultFileSet::Open(dir.path(), append, none);
    ASSERT_FALSE(opened) << append;
    EXPECT_THAT(opened.error().What(), HasSubstr("out_Rate.dat: is a symbolic link")) << append;
    EXPECT_EQ(elsewhere.Read("precious.txt"), "keep me\n") << append;
  }
  EXPECT_EQ(dir.Read("out_nu.dat"), ResultHeader(Nu));  // the rewrite replaced none of the eleven
}

}  // namespace
}  // namespace velmora
