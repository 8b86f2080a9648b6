#include "actions/ReadAndDraw.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "modelcell/Synth.h"
#include "recording/ListOfFiles.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

// Slot 1 with n samples dt apart: V = i, Ireal = -i, Icom = 2i.
Session SweepOf(int n, double dt, double t0 = 0) {
  Session session;
  Recording& rec = session.rec;
  SweepSlot& slot = rec.traces[1];
  for (int i = 0; i < n; ++i) {
    slot.V.push_back(i);
    slot.Ireal.push_back(-i);
    slot.Icom.push_back(2 * i);
  }
  slot.nLast = n - 1;
  rec.dt = dt;
  rec.t0 = t0;
  rec.nFiles = 1;
  rec.Gfile[1] = 7.5;
  rec.Ifile[1] = -20;
  return session;
}

const Series& SeriesOf(const Chart& chart, const char* title) {
  const Series* s = FindSeries(chart, title);
  EXPECT_NE(s, nullptr) << title;
  static const Series none;
  return s ? *s : none;
}

// Every Skip-th sample, at most 560,000 per series; the command every tenth
// sample among those drawn.
TEST(DrawSweep, DecimatesBySkipAndCapsTheSeries) {
  struct Case {
    double Skip;
    std::size_t traces, command;
  };
  const Case cases[] = {
      {30, 30'001, 30'001},    // multiples of 30 are multiples of 10
      {1, 560'000, 56'000},    // the cap: i < 1 x 560,000
      {0, 560'000, 56'000},    // below 1: taken as 1
      {7, 128'572, 12'858},    // command at multiples of 70
  };
  Session session = SweepOf(900'001, 1e-4, 0.01);
  for (const Case& c : cases) {
    Settings s;
    s.Skip = c.Skip;
    DrawSweep(session, 1, s);
    for (const char* t : {"Ireal, exp.", "Icom, exp."})
      EXPECT_EQ(SeriesOf(session.charts.current, t).points.size(), c.traces) << "Skip " << c.Skip << " " << t;
    const Series& V = SeriesOf(session.charts.voltage, "V, exp.");
    ASSERT_EQ(V.points.size(), c.traces) << "Skip " << c.Skip;
    for (const char* t : {"I", "G", "gNMDA"})
      EXPECT_EQ(SeriesOf(session.charts.current, t).points.size(), c.command) << "Skip " << c.Skip << " " << t;
    const int step = std::max(1, static_cast<int>(c.Skip));
    EXPECT_DOUBLE_EQ(V.points[1].x, (step * 1e-4 + 0.01) * 1000) << "Skip " << c.Skip;  // ms, t0 included
    EXPECT_EQ(V.points[1].y, step) << "Skip " << c.Skip;
    EXPECT_DOUBLE_EQ(SeriesOf(session.charts.current, "I").points[1].x, (std::lcm(step, 10) * 1e-4 + 0.01) * 1000)
        << "Skip " << c.Skip;
  }
  EXPECT_EQ(SeriesOf(session.charts.current, "G").yAxis, AxisSide::Right);
  EXPECT_EQ(SeriesOf(session.charts.current, "gNMDA").yAxis, AxisSide::Right);
  EXPECT_DOUBLE_EQ(session.gClamped, 7.5);
  EXPECT_DOUBLE_EQ(session.iClamped, -20);
}

// The LFP is filtered only at drawn samples, drawn only while the window is
// shown, and never read past its last sample.
TEST(DrawSweep, LfpFollowsTheWindowAndItsOwnLength) {
  struct Case {
    const char* name;
    bool visible;
    double tau;  // ms
    std::size_t points;
    double second;
  };
  const Case cases[] = {
      {"hidden", false, 0.5, 0, 0},
      {"time constant 0 draws the raw LFP", true, 0, 50, 11},
      {"low-pass", true, 2, 50, 10 + 0.5 * (11 - 10)},  // dt / F = 1 ms / 2 ms
  };
  for (const Case& c : cases) {
    Session session = SweepOf(200, 1e-3);
    for (int i = 0; i < 50; ++i) session.rec.raw.LFPRaw.push_back(10 + i);  // shorter than the sweep
    Settings s;
    s.Skip = 1;
    s.draw.lfpTau = c.tau;
    DrawSweep(session, 1, s, {.lfp = c.visible});
    const Series& lfp = SeriesOf(session.charts.lfp, "LFP");
    ASSERT_EQ(lfp.points.size(), c.points) << c.name;
    if (c.points == 0) continue;
    EXPECT_DOUBLE_EQ(lfp.points[0].y, 10) << c.name;
    EXPECT_DOUBLE_EQ(lfp.points[1].y, c.second) << c.name;
  }
}

TEST(SlotToShow, SmplIsLimitedToTheLoadedSweeps) {
  struct Case {
    double Smpl;
    int nFiles, slot;
  };
  const Case cases[] = {{5, 3, 3}, {0, 3, 1}, {-2, 3, 1}, {2.9, 3, 2}, {1, 0, 1}, {7, 0, 1}, {1e12, 4, 4}};
  for (const Case& c : cases)
    EXPECT_EQ(SlotToShow(c.Smpl, c.nFiles), c.slot) << "Smpl " << c.Smpl << ", nFiles " << c.nFiles;
}

// A slot without a file name is not read again; filtering it again at each
// redraw would smooth it further every time.
TEST(ReadSweep, SlotWithoutFileNameIsNotFilteredAgain) {
  Session session = SweepOf(100, 1e-4);
  for (int i = 0; i < 100; i += 2) session.rec.traces[1].V[i] = 50;  // a saw the filter would flatten
  const std::vector<double> before = session.rec.traces[1].V;
  Settings s;
  s.filter.on = true;
  CollectingSink warnings;
  ASSERT_TRUE(ReadSweep(session, 1, s, warnings));
  EXPECT_EQ(session.rec.traces[1].V, before);
}

// Three current steps of the model cell, 300 ms each, listed in ListOfFiles.
class LoadSelected : public ::testing::Test {
 protected:
  void SetUp() override {
    SynthSettings s;
    s.protocol = SynthProtocol::Steps;
    s.duration = 300;
    s.steps.nSteps = 3;
    s.steps.Ifirst = 0, s.steps.Ilast = 400;
    s.steps.tStimStart = 50, s.steps.tStimEnd = 250;
    CollectingSink warnings;
    ASSERT_TRUE(WriteSynthRecording(s, dir.path(), warnings));
    session.dataDir = dir.path();
    auto listed = ReadListOfFiles(dir.path(), dir.path(), session.rec, warnings);
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 3u);
    session.listed = *listed;
  }
  TempDir dir;
  Session session;
  Settings settings = StartupSettings();
  CollectingSink warnings;
};

TEST_F(LoadSelected, LoadsInListOrderAndDrawsSweepOne) {
  settings.Smpl = 3;
  ASSERT_TRUE(LoadSelectedSweeps(session, settings, {2, 0}, warnings));
  const Recording& rec = session.rec;
  EXPECT_EQ(rec.nFiles, 2);
  EXPECT_EQ(settings.Smpl, 3);  // the window's field: the load does not set it
  EXPECT_EQ(rec.iFile, 1);
  EXPECT_EQ(rec.FileNames[1], (dir / session.listed[0].trace).string());
  EXPECT_EQ(rec.FileNames[2], (dir / session.listed[2].trace).string());
  EXPECT_DOUBLE_EQ(rec.Ifile[1], 0);
  EXPECT_DOUBLE_EQ(rec.Ifile[2], 400);
  EXPECT_DOUBLE_EQ(session.iClamped, 0);  // sweep 1 is shown
  EXPECT_EQ(SeriesOf(session.charts.voltage, "V, exp.").points.size(),
            static_cast<std::size_t>(rec.traces.nLast(1) / 30 + 1));

  // "Smpl" above nFiles shows the last sweep.
  settings.Smpl = 9;
  auto drawn = ReadAndDraw(session, static_cast<int>(settings.Smpl), settings, warnings);
  ASSERT_TRUE(drawn);
  EXPECT_EQ(drawn->slot, 2);
  EXPECT_TRUE(drawn->spikesDetected);
  EXPECT_DOUBLE_EQ(session.iClamped, 400);
  EXPECT_GT(session.spikes.nSpikes, 0);  // 400 pA makes the model cell fire
  EXPECT_THAT(warnings.statuses, ::testing::Not(::testing::Contains("Read extracellular stimuli")));
}

// A selection whose second recording cannot be read must not leave the
// first one beside sweeps of the selection before, counted as loaded.
TEST_F(LoadSelected, FailedReadLeavesNothingLoaded) {
  session.listed.insert(session.listed.begin() + 1, {"gone_trace2_Err.cc", "gone.par"});
  session.rec.nFiles = 7;
  const Status s = LoadSelectedSweeps(session, settings, {0, 1, 2}, warnings);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("gone_trace2_Err.cc"));
  EXPECT_EQ(session.rec.nFiles, 0);
  EXPECT_TRUE(session.loaded.dataDir.empty());
}

TEST_F(LoadSelected, MoreThanFiftyOrUnlistedEntriesAreRefusedBeforeReading) {
  session.listed.resize(60, {"x_trace1_Err.cc", "x.par"});
  std::vector<int> all(51);
  for (int i = 0; i < 51; ++i) all[i] = i;
  Status s = LoadSelectedSweeps(session, settings, all, warnings);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("51 recordings are selected; at most 50"));
  EXPECT_LT(session.rec.traces.nLast(1), 0);

  s = LoadSelectedSweeps(session, settings, {60}, warnings);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("entry 60 is not in the list of 60 recordings"));
}

}  // namespace
}  // namespace velmora
