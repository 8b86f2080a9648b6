#include "actions/FiringClampRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "modelcell/Synth.h"
#include "recording/ListOfFiles.h"
#include "recording/TextIO.h"
#include "actions/ReadAndDraw.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TempDir;

// Firing-clamp sweeps of the model cell, 1 s each, one per (I, G) with G
// varying slowest: 15 pulses each after the excluded start and the flaw of
// the first period.
void WriteFcSweeps(const fs::path& dir, std::vector<double> I, std::vector<double> G) {
  SynthSettings s;
  s.protocol = SynthProtocol::FcCalibration;
  s.duration = 1000;  // ms
  s.fcCalibration.I = std::move(I);
  s.fcCalibration.G = std::move(G);
  NullSink warnings;
  ASSERT_TRUE(WriteSynthRecording(s, dir, warnings));
}

// Three sweeps of current steps: no firing-clamp recording.
void WriteStepSweeps(const fs::path& dir) {
  SynthSettings s;
  s.protocol = SynthProtocol::Steps;
  s.duration = 300;
  s.steps.nSteps = 3;
  NullSink warnings;
  ASSERT_TRUE(WriteSynthRecording(s, dir, warnings));
}

Settings FcSettings() {
  Settings s = StartupSettings();
  s.fc.FlawThreshold = 50;  // mV: the model's spikes rise up to 33 mV in one sample
  s.fc.approximate = false;
  return s;
}

// Every listed recording of `dir` through the driver, with `page` shown and
// the estimations window shown when `estimate`.
Result<FiringClampRun> RunOn(const fs::path& dir, Session& session, Settings& settings, WarningSink& warnings,
                             MainPage page = MainPage::FiringClamp, bool estimate = false) {
  session.dataDir = dir;
  auto listed = ReadListOfFiles(dir, dir, session.rec, warnings);
  if (!listed) return listed.error();
  session.listed = *listed;
  std::vector<int> all(session.listed.size());
  std::iota(all.begin(), all.end(), 0);
  return FiringClampDriver(session, settings, all, warnings, page, {.estimations = estimate});
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Every recording must be analysed from its own samples: the per-sample
// record holds the sweep prepared last, so without preparing each file again
// the second and later files would carry the first one's I, G and pulses.
TEST(FiringClampDriver, EachRecordingIsAnalysedFromItsOwnSamples) {
  TempDir tmp;
  WriteFcSweeps(tmp.path(), {60, -40}, {2, 8});
  Session session;
  Settings settings = FcSettings();
  settings.fc.writeInFile = true;
  CollectingSink warnings;
  auto run = RunOn(tmp.path(), session, settings, warnings);
  ASSERT_TRUE(run) << run.error().What();
  EXPECT_TRUE(warnings.warnings.empty()) << warnings.warnings.front();

  const double I[] = {60, -40, 60, -40}, G[] = {2, 2, 8, 8};
  ASSERT_EQ(run->files.size(), 4u);
  const auto lines = Lines(tmp.Read(kCalibrationFileName));
  ASSERT_EQ(lines.size(), 60u);
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(run->files[k].analysed) << "file " << k + 1;
    EXPECT_EQ(run->files[k].nPulses, 15) << "file " << k + 1;
    EXPECT_EQ(run->files[k].nFlaws, 1) << "file " << k + 1;
    for (int j = 0; j < 15; ++j) {
      std::istringstream line(lines[15 * k + j]);
      double Ij = 0, Gj = 0;
      line >> Ij >> Gj;
      EXPECT_EQ(Ij, I[k]) << "file " << k + 1 << ", pulse " << j + 1;
      EXPECT_EQ(Gj, G[k]) << "file " << k + 1 << ", pulse " << j + 1;
    }
  }
  EXPECT_EQ(session.rec.iFile, 4);
  EXPECT_EQ(run->lastStep, "Done");
  const std::vector<std::string> perFile(warnings.statuses.end() - 6, warnings.statuses.end());
  EXPECT_THAT(perFile, ElementsAre("Analyze_FC", "Draw_FC", "Draw and write correlations", "No Approximation",
                                   "No Estimation", "Done"));
}

// The pulses are analysed only on the two firing-clamp pages; the page moves
// to "Firing-Clamp" for a firing-clamp recording shown on "Plots" and back
// for another recording shown on "Firing-Clamp".
TEST(FiringClampDriver, PageShownDecidesWhetherToAnalyse) {
  struct Case {
    const char* name;
    bool firingClamp;
    MainPage page, pageAfter;
    bool analysed;
  };
  const Case cases[] = {
      {"FC on Plots", true, MainPage::Plots, MainPage::FiringClamp, true},
      {"FC on Options", true, MainPage::Options, MainPage::Options, false},
      {"FC on Approximate_FC", true, MainPage::ApproximateFC, MainPage::ApproximateFC, true},
      {"steps on Firing-Clamp", false, MainPage::FiringClamp, MainPage::Plots, false},
  };
  for (const Case& c : cases) {
    TempDir tmp;
    if (c.firingClamp)
      WriteFcSweeps(tmp.path(), {50}, {5});
    else
      WriteStepSweeps(tmp.path());
    Session session;
    Settings settings = FcSettings();
    settings.fc.writeInFile = true;
    CollectingSink warnings;
    auto run = RunOn(tmp.path(), session, settings, warnings, c.page);
    ASSERT_TRUE(run) << c.name << ": " << run.error().What();
    EXPECT_EQ(run->page, c.pageAfter) << c.name;
    ASSERT_FALSE(run->files.empty()) << c.name;
    EXPECT_EQ(run->files[0].analysed, c.analysed) << c.name;
    EXPECT_EQ(fs::exists(tmp / kCalibrationFileName), c.analysed) << c.name;
    EXPECT_EQ(session.rec.nFiles, static_cast<int>(run->files.size())) << c.name;  // read all the same
  }
}

// A list that names a recording beside the data directory ("../...") must
// not lead the ".stim" file of the alignment out of the directory.
TEST(FiringClampDriver, StimulusFileOfARecordingListedOutsideIsNotWritten) {
  TempDir tmp;
  WriteFcSweeps(tmp / "outside", {50}, {5});
  fs::create_directory(tmp / "data");
  std::ofstream(tmp / "data" / "ListOfFiles") << "../outside/fccalibration01_trace1_Err.FC\r\n"
                                                  "../outside/fccalibration01.par\r\n";
  Session session;
  Settings settings = FcSettings();
  settings.draw.alignFC = true;
  CollectingSink warnings;
  auto run = RunOn(tmp / "data", session, settings, warnings);
  ASSERT_FALSE(run);
  EXPECT_THAT(run.error().What(), HasSubstr("outside the data directory"));
  EXPECT_FALSE(fs::exists(tmp / "outside" / "fccalibration01_trace1_Err.stim"));
}

// With "Approximate" ticked and no calibration yet, the run says so and ends
// at the first recording's "Approximation"; "Write in file" unticked leaves
// no calibration file behind.
TEST(FiringClampDriver, FailedApproximationEndsTheRun) {
  TempDir tmp;
  WriteFcSweeps(tmp.path(), {0, 50}, {5});
  Session session;
  Settings settings = FcSettings();
  settings.fc.approximate = true;
  CollectingSink warnings;
  auto run = RunOn(tmp.path(), session, settings, warnings);
  ASSERT_TRUE(run) << run.error().What();
  EXPECT_TRUE(run->approximationFailed);
  ASSERT_EQ(run->files.size(), 2u);
  EXPECT_FALSE(run->files[0].approximated);
  EXPECT_FALSE(run->files[1].analysed);
  EXPECT_EQ(run->lastStep, "Approximation");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr(kNoCalibrationMessage));
  EXPECT_FALSE(fs::exists(tmp / kCalibrationFileName));
}

// Nine firing-clamp sweeps of a 3 x 3 grid of I and G, and the calibration
// file that a run with "Write in file" makes of them.
void WriteCalibratedSweeps(const TempDir& tmp) {
  WriteFcSweeps(tmp.path(), {-50, 0, 50}, {0, 5, 10});
  Settings settings = FcSettings();
  settings.fc.writeInFile = true;
  Session session;
  CollectingSink warnings;
  ASSERT_TRUE(RunOn(tmp.path(), session, settings, warnings));
}

// A calibration run followed by an estimation run on the same recordings:
// the estimates, "True_I_G(t).dat" and the averages are made, and the
// estimates of constant I and G come back near them.
TEST(FiringClampDriver, EstimationRunWritesItsFilesAndSummary) {
  TempDir tmp;
  WriteCalibratedSweeps(tmp);
  Settings settings = FcSettings();
  settings.fc.writeInFile = false;
  settings.fc.approximate = true;
  Session session;
  CollectingSink warnings;
  auto run = RunOn(tmp.path(), session, settings, warnings, MainPage::FiringClamp, true);
  ASSERT_TRUE(run) << run.error().What();
  ASSERT_EQ(run->files.size(), 9u);
  for (const FiringClampFile& f : run->files) {
    ASSERT_TRUE(f.estimation) << f.name;
    EXPECT_EQ(f.estimation->notConverged + f.estimation->notFinite, 0) << f.name;
    EXPECT_EQ(f.summary.first, 2) << f.name;  // the regression has no estimate for pulse 1
    EXPECT_EQ(f.summary.last, 15) << f.name;
    EXPECT_LT(f.summary.rmsI, 15) << f.name;   // pA, of a range of 100
    EXPECT_LT(f.summary.rmsG, 1.5) << f.name;  // nS, of a range of 10
  }
  EXPECT_EQ(Lines(tmp.Read(kEstimatesFileName)).size(), 15u);
  const int nLast = session.rec.traces.nLast(9);
  EXPECT_EQ(Lines(tmp.Read(kTrueIGFileName)).size(), static_cast<std::size_t>(nLast / 10 + 1));
  EXPECT_GE(session.averages.nBins, 0);
  EXPECT_FALSE(FindSeries(session.fcCharts.estimations.current, "Estimated I")->points.empty());
}

// A calibration file damaged on disk ends the estimation run at its first
// recording with the file and line named; the estimates of the run before
// are not overwritten with anything made from it.
TEST(FiringClampDriver, CorruptedCalibrationEndsTheRunAndKeepsTheEstimates) {
  TempDir tmp;
  WriteCalibratedSweeps(tmp);
  Settings settings = FcSettings();
  const std::string calibration = tmp.Read(kCalibrationFileName);
  tmp.Write(kEstimatesFileName, "estimates of an earlier run\r\n");
  const std::size_t third = calibration.find("\r\n", calibration.find("\r\n") + 2) + 2;
  struct Case {
    const char* name;
    std::string content;
    const char* message;
  };
  const Case cases[] = {
      {"cut mid-line", calibration.substr(0, third + 17), "line 3: 2 numbers where a calibration point has 13"},
      {"garbage", calibration.substr(0, third) + "\x01\xff garbage\r\n",
       "line 3, column 1: \"\\x01\xff\" is not a number"},  // the control character escaped
  };
  settings.fc.writeInFile = false;
  settings.fc.approximate = true;
  for (const Case& c : cases) {
    tmp.Write(kCalibrationFileName, c.content);
    Session session;
    CollectingSink warnings;
    auto run = RunOn(tmp.path(), session, settings, warnings, MainPage::FiringClamp, true);
    ASSERT_TRUE(run) << c.name;
    EXPECT_TRUE(run->approximationFailed) << c.name;
    ASSERT_EQ(warnings.size(), 1u) << c.name;
    EXPECT_THAT(warnings[0], HasSubstr(std::string(kCalibrationFileName) + ": " + c.message)) << c.name;
    EXPECT_EQ(tmp.Read(kEstimatesFileName), "estimates of an earlier run\r\n") << c.name;
  }
}

Pulses TwoPulses() {
  Pulses p;
  SizePulseArrays(p, 3);
  p.nPulses = 2;
  for (int j = 1; j <= 3; ++j) {
    p.I[j] = -100.5 * j, p.G[j] = 2.25 * j, p.VT[j] = -50 - j, p.PulseV_VT[j] = 80 + j, p.subV[j] = -70 + j;
    p.PulseV[j] = 30 + j, p.NegPulseDur[j] = 1.5 * j, p.dVdt[j] = -0.5 * j, p.VHalfPulse[j] = -10 * j;
    p.tPulse[j] = 12345.6789 * j, p.gNMDA[j] = 0.125 * j, p.dVdt_V1[j] = 4 * j, p.dVdt_V2[j] = 60 * j;
  }
  return p;
}

// The calibration file's thirteen columns are 8:3 with one blank between and
// CR LF, appended run after run; "Erase calibration" removes it, and a file
// that would stay empty is not left behind.
TEST(WritePulseFile, AppendsThirteenColumnsAndCleansUp) {
  TempDir tmp;
  const Pulses p = TwoPulses();
  ASSERT_TRUE(WritePulseFile(tmp.path(), p, PulseFileMode::Append));
  ASSERT_TRUE(WritePulseFile(tmp.path(), p, PulseFileMode::Append));
  const std::string first =
      "-100.500    2.250  -51.000   81.000  -69.000   31.000    1.500   -0.500  -10.000 12345.679    0.125    4.000"
      "   60.000\r\n";
  const std::string text = tmp.Read(kCalibrationFileName);
  EXPECT_EQ(text.substr(0, first.size()), first);
  EXPECT_EQ(Lines(text).size(), 4u);  // pulse 3 lies beyond nPulses

  Pulses none;
  ASSERT_TRUE(WritePulseFile(tmp.path(), none, PulseFileMode::Append));
  EXPECT_EQ(tmp.Read(kCalibrationFileName), text) << "no pulses: the calibration stays";
  for (int repeat = 0; repeat < 2; ++repeat) {  // the second time on a missing file
    ASSERT_TRUE(WritePulseFile(tmp.path(), p, PulseFileMode::Clean)) << "erase " << repeat;
    EXPECT_FALSE(fs::exists(tmp / kCalibrationFileName)) << "erase " << repeat;
  }
  ASSERT_TRUE(WritePulseFile(tmp.path(), none, PulseFileMode::Append));
  EXPECT_FALSE(fs::exists(tmp / kCalibrationFileName)) << "an empty calibration file is removed";

  const auto missing = WritePulseFile(tmp / "no such dir", p, PulseFileMode::Append);
  ASSERT_FALSE(missing);
  EXPECT_THAT(missing.error().What(), HasSubstr(std::string(kCalibrationFileName)));
}

// Every 10th sample: its time without t0, and the command two samples
// earlier at the time the recording had (with t0).
TEST(WriteTrueIG, EveryTenthSampleWithTheCommandTwoSamplesEarlier) {
  TempDir tmp;
  Recording rec;
  rec.par.ProtocolKind = 1;
  rec.par.ClampWave.WaveKind = 3;
  rec.par.ClampWave.WaveAlways = 1;
  rec.par.ClampWave.I0 = 100, rec.par.ClampWave.TI = 8;  // pA, ms
  rec.par.ClampWave.G0 = 5, rec.par.ClampWave.TG = 6;    // nS, ms
  rec.dt = 1e-4;   // s
  rec.t0 = 5e-4;   // s
  rec.traces[1].nLast = 25;
  ASSERT_TRUE(WriteTrueIG(rec, 1, tmp.path()));
  const auto lines = Lines(tmp.Read(kTrueIGFileName));
  ASSERT_EQ(lines.size(), 3u);
  for (int n = 0; n < 3; ++n) {
    const int i = 10 * n;
    const double t = (i - 2) * 0.1 + 0.5;  // ms
    const double I = 100 * std::sin(2 * std::numbers::pi * t / 8);
    const double G = 5 * (std::cos(2 * std::numbers::pi * t / 6) + 1);
    EXPECT_EQ(lines[n], Fixed(i * 0.1, 8, 3) + " " + Fixed(I, 8, 3) + " " + Fixed(G, 8, 3) + "    0.000\r")
        << "sample " << i;
  }

  rec.traces[2].nLast = -1;
  ASSERT_TRUE(WriteTrueIG(rec, 2, tmp.path()));
  EXPECT_EQ(tmp.Read(kTrueIGFileName), "") << "an empty slot leaves the file empty";
}

// Slot 1 of 101 samples at 0.1 ms as prepared: V = -60 + i / 10, switches
// at samples 30 and 35, measured current 2 i; two pulses at 3 and 7 ms.
Session PreparedSweep() {
  Session session;
  Recording& rec = session.rec;
  rec.dt = 1e-4;
  SweepSlot& slot = rec.traces[1];
  slot.nLast = 100;
  FCRecord& FC = session.FC;
  for (int i = 0; i <= 100; ++i) {
    slot.V.push_back(-60 + i / 10.0);
    slot.Ireal.push_back(2 * i);
    slot.Icom.push_back(0);
    FC.V.push_back(-60 + i / 10.0);
    FC.I.push_back(i);
    FC.G.push_back(i / 100.0);
    FC.Switch.push_back(i == 30 || i == 35 ? 1 : 0);
  }
  FC.slot = 1, FC.nLast = 100;
  Pulses& p = session.pulses;
  SizePulseArrays(p, 3);
  p.nPulses = 2, p.nFlaws = 3;
  p.tPulse[1] = 3, p.tPulse[2] = 7;
  return session;
}

std::size_t PointsOf(const Chart& chart, const char* title) {
  const Series* s = FindSeries(chart, title);
  return s ? s->points.size() : 0;
}

// The time chart takes every Skip-th sample and marks only the switches that
// fall on them; the current and estimation windows every 10th of those; the
// pointer marks the measured current at each pulse only while the current
// window is shown; a record of another sweep is not drawn as this one.
TEST(DrawFC, ThinsBySkipAndDrawsOnlyThisSweep) {
  struct Case {
    const char* name;
    int FCslot;
    bool currentWindow;
    std::size_t V, markers, tenth, pointer;
  };
  const Case cases[] = {
      {"prepared", 1, false, 6, 1, 3, 0},
      {"current window shown", 1, true, 6, 1, 3, 2},
      {"record of slot 2", 2, false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Session session = PreparedSweep();
    session.FC.slot = c.FCslot;
    Settings settings = FcSettings();
    settings.Skip = 15;  // drawn: 15, 30, ..., 90
    DrawFC(session, 1, settings, {.currentWindow = c.currentWindow});
    const FiringClampCharts& charts = session.fcCharts;
    EXPECT_EQ(PointsOf(charts.time, "V"), c.V) << c.name;
    EXPECT_EQ(PointsOf(charts.time, "Markers"), c.markers) << c.name;
    EXPECT_EQ(PointsOf(session.charts.stimulus, "Ireal"), c.tenth) << c.name;
    EXPECT_EQ(PointsOf(charts.estimations.current, "True I"), c.tenth) << c.name;
    EXPECT_EQ(PointsOf(charts.estimations.conductance, "True G"), c.tenth) << c.name;
    EXPECT_EQ(PointsOf(charts.time, "PulseV"), 2u) << c.name;
    EXPECT_EQ(PointsOf(session.charts.stimulus, "Pointer"), c.pointer) << c.name;
    if (c.pointer == 0) continue;
    const ChartPoint marker = FindSeries(charts.time, "Markers")->points[0];
    EXPECT_NEAR(marker.x, 3, 1e-12) << c.name;  // ms, sample 30
    EXPECT_DOUBLE_EQ(marker.y, -57) << c.name;
    EXPECT_EQ(FindSeries(session.charts.stimulus, "Pointer")->points[1], (ChartPoint{7, 140})) << c.name;  // sample 70
  }
}

// The ticked boxes add a point per pulse to both charts, accumulating; the
// dV/dt at V1 and V2 sit on the right axis against I but the left one
// against G; "Erase calibration" empties all but those two.
TEST(DrawCorrelations, TickedBoxesAccumulateAndEraseKeepsTheLastTwo) {
  const Pulses p = TwoPulses();
  FiringClampCharts charts;
  WhichToPlot boxes;
  boxes.dVdt_V1 = true;
  DrawCorrelations(p, boxes, false, charts.vsI, charts.vsG);
  DrawCorrelations(p, boxes, false, charts.vsI, charts.vsG);
  EXPECT_EQ(PointsOf(charts.vsI, "subV"), 4u);
  EXPECT_EQ(PointsOf(charts.vsG, "PulseV-VT"), 4u);
  EXPECT_EQ(PointsOf(charts.vsI, "NegPulseD"), 0u);  // unticked
  EXPECT_EQ(PointsOf(charts.vsI, "VT"), 0u);
  EXPECT_EQ(FindSeries(charts.vsI, "subV")->points[1], (ChartPoint{-201, -68}));
  EXPECT_EQ(FindSeries(charts.vsG, "dVdt_V1")->points[0], (ChartPoint{2.25, 4}));
  EXPECT_EQ(FindSeries(charts.vsI, "dVdt_V1")->yAxis, AxisSide::Right);
  EXPECT_EQ(FindSeries(charts.vsG, "dVdt_V1")->yAxis, AxisSide::Left);
  EXPECT_EQ(charts.vsI.bottom.title, "I");
  EXPECT_EQ(charts.vsG.bottom.title, "G");

  ClearCorrelationPlots(charts.vsI, charts.vsG);
  EXPECT_EQ(PointsOf(charts.vsI, "subV"), 0u);
  EXPECT_EQ(PointsOf(charts.vsG, "PulseV-VT"), 0u);
  EXPECT_EQ(PointsOf(charts.vsI, "dVdt_V1"), 4u);
  EXPECT_EQ(PointsOf(charts.vsG, "dVdt_V1"), 4u);
}

// Reading a firing-clamp sweep detects its meanders with the compensation
// group and the estimations window's corrections, and the record says which;
// a sweep of another kind is not detected.
TEST(ReadSweep, PreparesTheFiringClampRecordWithTheCompensationSettings) {
  for (const bool firingClamp : {true, false}) {
    TempDir tmp;
    if (firingClamp)
      WriteFcSweeps(tmp.path(), {50}, {5});
    else
      WriteStepSweeps(tmp.path());
    Session session;
    Settings settings = FcSettings();
    settings.compensation = {15, 0.8, CompensationMode::UseIreal, 2.7, 3.2, 0, 60};
    settings.estimations.corrections.Vjunction = 7;
    CollectingSink warnings;
    session.dataDir = tmp.path();
    auto listed = ReadListOfFiles(tmp.path(), tmp.path(), session.rec, warnings);
    ASSERT_TRUE(listed);
    session.listed = *listed;
    ASSERT_TRUE(LoadSelectedSweeps(session, settings, {0}, warnings));
    const FCRecord& FC = session.FC;
    EXPECT_EQ(FC.slot, firingClamp ? 1 : 0) << (firingClamp ? "firing clamp" : "steps");
    if (!firingClamp) continue;
    EXPECT_EQ(FC.madeWith, MeanderInputs(settings.compensation, settings.estimations));
    const FCParsRec& fc = session.rec.par.FCPars;
    EXPECT_DOUBLE_EQ(FC.Vend, fc.Vswitch + fc.Ineg / 15) << "G1 reaches the pass";
  }
}

}  // namespace
}  // namespace velmora
