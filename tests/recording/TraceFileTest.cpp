#include "recording/TraceFile.h"

#include <fmt/format.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "recording/ParameterFile.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::BinaryTrace;
using testing::TempDir;

// A raw recording of n samples 1 ms apart at times 1..n, V = index, Ireal = -index.
void FillRaw(Recording& rec, int n, double dtMs = 1.0) {
  rec.raw = {};
  for (int i = 0; i < n; ++i) {
    rec.raw.tRaw.push_back((i + 1) * dtMs);
    rec.raw.VRaw.push_back(i);
    rec.raw.IcomRaw.push_back(100 + i);
    rec.raw.IrealRaw.push_back(-i);
  }
  rec.raw.nRaw = n - 1;
  rec.par.Duration = n * dtMs;
}

TEST(ReadTrace, TextColumnsGoToTheirChannels) {
  struct Case {
    int ch4, ch56;
    std::vector<double> ch4Want, ch5Want, ch6Want;
  };
  const std::string lines = "0.1 -65 10 11 0 0 7 8 9\r\n0.2 -64 20 21 0 0 17 18 19\r\n";
  const Case cases[] = {{0, 0, {}, {}, {}}, {1, 0, {7, 17}, {}, {}}, {0, 1, {}, {7, 17}, {8, 18}},
                        {1, 1, {7, 17}, {8, 18}, {9, 19}}};
  for (const Case& c : cases) {
    TempDir dir;
    Recording rec;
    rec.par.HasCh4 = c.ch4;
    rec.par.HasCh56 = c.ch56;
    CollectingSink warnings;
    ASSERT_TRUE(ReadTrace(rec, dir.Write("a_trace1_Err.cc", lines), warnings));
    EXPECT_EQ(rec.raw.nRaw, 1);
    EXPECT_THAT(rec.raw.tRaw, ElementsAre(0.1, 0.2));
    EXPECT_THAT(rec.raw.VRaw, ElementsAre(-65, -64));
    EXPECT_THAT(rec.raw.IcomRaw, ElementsAre(10, 20));
    EXPECT_THAT(rec.raw.IrealRaw, ElementsAre(11, 21));
    EXPECT_EQ(rec.raw.Ch4Raw, c.ch4Want) << c.ch4 << c.ch56;
    EXPECT_EQ(rec.raw.Ch5Raw, c.ch5Want) << c.ch4 << c.ch56;
    EXPECT_EQ(rec.raw.Ch6Raw, c.ch6Want) << c.ch4 << c.ch56;
    EXPECT_DOUBLE_EQ(rec.par.Duration, 0.2);
    EXPECT_EQ(warnings.size(), 0u);
  }
}

// Samples at time 0 or before are overwritten by the next; a trailing empty line is no sample.
TEST(ReadTrace, TextSamplesAtTimeZeroAreNotKept) {
  TempDir dir;
  Recording rec;
  NullSink warnings;
  const auto path = dir.Write("a_trace1_Err.cc", "0 1 1 1 0 0\n0.1 2 2 2 0 0\n-3 9 9 9 0 0\n0.2 3 3 3 0 0\n\n");
  ASSERT_TRUE(ReadTrace(rec, path, warnings));
  EXPECT_THAT(rec.raw.VRaw, ElementsAre(2, 3));
  EXPECT_DOUBLE_EQ(rec.par.Duration, 0.2);  // the time of the last sample kept, not of the empty line
}

TEST(ReadTrace, TextShortLineIsReadWithZerosAndOneWarning) {
  TempDir dir;
  Recording rec;
  CollectingSink warnings;
  ASSERT_TRUE(ReadTrace(rec, dir.Write("a_trace1_Err.cc", "0.1 -65 3\n0.2 -64\n"), warnings));
  EXPECT_THAT(rec.raw.IrealRaw, ElementsAre(0, 0));
  EXPECT_THAT(rec.raw.IcomRaw, ElementsAre(3, 0));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("a_trace1_Err.cc: line 1 holds 3 of 6 columns"));
}

// A damaged line stops the read; no half-read recording is left to pass for a whole one.
TEST(ReadTrace, TextGarbageIsAnErrorAndLeavesNoSamples) {
  TempDir dir;
  Recording rec;
  FillRaw(rec, 3);
  NullSink warnings;
  const Status s = ReadTrace(rec, dir.Write("a_trace1_Err.cc", "0.1 1 1 1 0 0\n0.2 1,5 1 1 0 0\n"), warnings);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("a_trace1_Err.cc: line 2, column 2: \"1,5\" is not a number"));
  EXPECT_EQ(rec.raw.nRaw, -1);
  EXPECT_TRUE(rec.raw.VRaw.empty());
}

// A long trace is read in blocks, each parsed in two halves at once: the
// samples keep their order, and a short line or a damaged number deep in
// the file is reported with its own line number, wherever the cuts fall.
TEST(ReadTrace, TextLongTraceReadInPartsKeepsOrderAndLineNumbers) {
  constexpr int kLines = 300000;  // about 10 MB: two blocks, each split
  std::string text;
  text.reserve(kLines * 34);
  for (int i = 1; i <= kLines; ++i) text += fmt::format("{}.5 {} -{} 7 0 0\r\n", i, i % 1000, i);
  const auto lineStart = [](const std::string& in, int line) {  // 1-based
    std::size_t at = 0;
    for (int k = 1; k < line; ++k) at = in.find('\n', at) + 1;
    return at;
  };
  TempDir dir;
  Recording rec;
  {
    CollectingSink warnings;
    ASSERT_TRUE(ReadTrace(rec, dir.Write("l_trace1_Err.cc", text), warnings));
    ASSERT_EQ(rec.raw.nRaw, kLines - 1);
    bool inOrder = true;
    for (int i = 0; i < kLines && inOrder; ++i)
      inOrder = rec.raw.tRaw[i] == i + 1.5 && rec.raw.VRaw[i] == (i + 1) % 1000 && rec.raw.IcomRaw[i] == -(i + 1);
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(warnings.size(), 0u);
  }
  for (const int line : {5, 200001, 260001, kLines}) {  // each half of each block
    std::string damaged = text;
    const std::size_t at = lineStart(damaged, line);
    damaged.replace(at, damaged.find('\n', at) - at, fmt::format("{}.5 1 2", line));
    const std::size_t bad = lineStart(damaged, line + 7 <= kLines ? line + 7 : line - 7);
    damaged.replace(bad, damaged.find(' ', bad) - bad, "x1");
    CollectingSink warnings;
    const Status s = ReadTrace(rec, dir.Write("l_trace1_Err.cc", damaged), warnings);
    ASSERT_FALSE(s) << line;
    const int badLine = line + 7 <= kLines ? line + 7 : line - 7;
    EXPECT_THAT(s.error().What(), HasSubstr(fmt::format("line {}, column 1: \"x1\" is not a number", badLine)))
        << line;
    EXPECT_EQ(rec.raw.nRaw, -1) << line;
    if (badLine > line) {
      ASSERT_EQ(warnings.size(), 1u) << line;
      EXPECT_THAT(warnings[0], HasSubstr(fmt::format("line {} holds 3 of 6 columns", line))) << line;
    } else {
      EXPECT_EQ(warnings.size(), 0u) << line;  // the read stopped before the short line
    }
  }
}

TEST(ReadTrace, MissingUnderBothNamesIsAnError) {
  TempDir dir;
  Recording rec;
  FillRaw(rec, 3);
  NullSink warnings;
  const Status s = ReadTrace(rec, dir / "none_trace1_Err.cc", warnings);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("none_trace1_Err.cc: no such trace file"));
  EXPECT_EQ(rec.raw.nRaw, 2);
}

std::vector<std::vector<std::int16_t>> Ramp(int n, int channels) {
  std::vector<std::vector<std::int16_t>> s(n, std::vector<std::int16_t>(channels));
  for (int k = 0; k < n; ++k)
    for (int c = 0; c < channels; ++c) s[k][c] = static_cast<std::int16_t>(k * (c + 1));
  return s;
}

// The binary variant drops its first sample (time 0) and takes dtPar from its own header.
TEST(ReadTrace, BinaryDropsFirstSampleAndUsesTimeFactor) {
  TempDir dir;
  Recording rec;
  rec.par.TimeFactor = 1;
  rec.par.dtPar = 1;  // replaced by the file's value
  NullSink warnings;
  dir.Write("b_trace1_Err.cc_b", BinaryTrace(0.05, "no field potential", {0.5, 2, 1}, {-70, 0, 1}, Ramp(1000, 3)));
  ASSERT_TRUE(ReadTrace(rec, dir / "b_trace1_Err.cc", warnings));
  EXPECT_EQ(rec.raw.nRaw, 998);
  EXPECT_DOUBLE_EQ(rec.par.dtPar, 0.05);
  EXPECT_DOUBLE_EQ(rec.raw.tRaw[0], 0.05);
  EXPECT_DOUBLE_EQ(rec.raw.VRaw[0], 1 * 0.5 - 70);
  EXPECT_DOUBLE_EQ(rec.raw.IcomRaw[0], 2 * 2.0);
  EXPECT_DOUBLE_EQ(rec.raw.IrealRaw[998], 999 * 3 + 1.0);
  EXPECT_DOUBLE_EQ(rec.par.Duration, 999 * 0.05);
  EXPECT_FALSE(rec.par.LfpPars.LfpPresent);

  LoadSettings settings;
  rec.currentFile = (dir / "b_trace1_Err.cc").string();
  ASSERT_TRUE(LoadSweep(rec, 1, settings, warnings));
  EXPECT_DOUBLE_EQ(rec.dt, 0.00005);

  rec.par.TimeFactor = 0;  // every sample at time 0: nothing is kept
  ASSERT_TRUE(ReadTrace(rec, dir / "b_trace1_Err.cc", warnings));
  EXPECT_EQ(rec.raw.nRaw, -1);
}

TEST(ReadTrace, BinaryOptionalChannelsInFileOrder) {
  TempDir dir;
  Recording rec;
  rec.par.TimeFactor = 2;
  rec.par.HasCh4 = 1;
  rec.par.HasCh56 = 1;
  NullSink warnings;
  dir.Write("b_trace1_Err.cc_b",
            BinaryTrace(0.1, "V I LFP", std::vector<double>(7, 1.0), std::vector<double>(7, 0.0), Ramp(3, 7)));
  ASSERT_TRUE(ReadTrace(rec, dir / "b_trace1_Err.cc", warnings));
  EXPECT_THAT(rec.raw.tRaw, ElementsAre(0.2, 0.4));
  EXPECT_THAT(rec.raw.Ch4Raw, ElementsAre(4, 8));
  EXPECT_THAT(rec.raw.Ch6Raw, ElementsAre(6, 12));
  EXPECT_THAT(rec.raw.LFPRaw, ElementsAre(7, 14));
  EXPECT_TRUE(rec.par.LfpPars.LfpPresent);
}

// A copy cut off mid-sample or mid-header must load what it holds, and say so.
TEST(ReadTrace, BinaryCutShortReadsWholeSamplesOnly) {
  TempDir dir;
  Recording rec;
  rec.par.TimeFactor = 1;
  const std::string whole = BinaryTrace(0.1, "", {1, 1, 1}, {0, 0, 0}, Ramp(4, 3));
  {
    CollectingSink warnings;
    dir.Write("c_trace1_Err.cc_b", whole + "\x01\x02\x03");
    ASSERT_TRUE(ReadTrace(rec, dir / "c_trace1_Err.cc", warnings));
    EXPECT_EQ(rec.raw.nRaw, 2);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_THAT(warnings[0], HasSubstr("c_trace1_Err.cc_b: ends in a partial sample; the 4 whole samples are read"));
  }
  {
    CollectingSink warnings;
    dir.Write("c_trace1_Err.cc_b", whole.substr(0, 300));
    ASSERT_TRUE(ReadTrace(rec, dir / "c_trace1_Err.cc", warnings));
    EXPECT_EQ(rec.raw.nRaw, -1);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_THAT(warnings[0], HasSubstr("the header is cut short (300 of 312 bytes)"));
  }
}

// A damaged header would make every sample NaN or infinite; the read is
// refused instead, naming the file and what is wrong.
TEST(ReadTrace, BinaryHeaderWithoutUsableNumbersIsAnError) {
  TempDir dir;
  Recording rec;
  rec.par.TimeFactor = 1;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    double dtPar;
    std::vector<double> scales, offsets;
    const char* message;
  };
  const Case cases[] = {
      {"NaN step", nan, {1, 1, 1}, {0, 0, 0}, "the sampling step nan is not a number"},
      {"infinite step", HUGE_VAL, {1, 1, 1}, {0, 0, 0}, "the sampling step inf is not a number"},
      {"NaN scale", 0.1, {1, nan, 1}, {0, 0, 0}, "channel 2 has no usable scale and offset (nan, 0)"},
      {"overflowing scale", 0.1, {1e305, 1, 1}, {0, 0, 0}, "channel 1 has no usable scale and offset"},
      {"infinite offset", 0.1, {1, 1, 1}, {0, 0, -HUGE_VAL}, "channel 3 has no usable scale and offset (1, -inf)"},
  };
  NullSink warnings;
  for (const Case& c : cases) {
    dir.Write("d_trace1_Err.cc_b", BinaryTrace(c.dtPar, "", c.scales, c.offsets, Ramp(4, 3)));
    const Status s = ReadTrace(rec, dir / "d_trace1_Err.cc", warnings);
    ASSERT_FALSE(s) << c.name;
    EXPECT_THAT(s.error().What(), HasSubstr("d_trace1_Err.cc_b")) << c.name;
    EXPECT_THAT(s.error().What(), HasSubstr(c.message)) << c.name;
    EXPECT_EQ(rec.raw.nRaw, -1) << c.name;
  }
}

TEST(ReadTrace, SideFilesLfpAndVoltageClamp) {
  TempDir dir;
  Recording rec;
  rec.par.nPar = 1;
  NullSink warnings;
  dir.Write("d.lfp", "0.1 5\r\n0.2 6\r\n0.3 7\r\n");
  dir.Write("d_trace1_Err.VCe", "1 2 3\n4 5 6\n");
  ASSERT_TRUE(ReadTrace(rec, dir.Write("d_trace1_Err.VC", "0.1 1 1 1 0 0\n"), warnings));
  EXPECT_THAT(rec.raw.LFPRaw, ElementsAre(5, 6, 7));
  EXPECT_TRUE(rec.par.LfpPars.LfpPresent);
  EXPECT_THAT(rec.raw.VCcol3, ElementsAre(3, 6));
  EXPECT_EQ(rec.par.DynVC.VCcount, 1);
  EXPECT_EQ(rec.par.DynVC.VCmismatch, 0);
}

TEST(FileNumber, DigitsBetweenTraceAndErr) {
  EXPECT_EQ(*FileNumber("/x/cell_trace12_Err.us"), 12);
  for (const char* bad : {"cell_trace12.us", "cell_trace_Err.us", "cell_traceX_Err.us", "cell_Err_trace3.us"}) {
    const auto n = FileNumber(bad);
    ASSERT_FALSE(n) << bad;
    EXPECT_THAT(n.error().What(), HasSubstr(bad)) << bad;
  }
}

// "Analyze since t0" skips whole samples, and whole meander periods in a firing-clamp recording.
TEST(LoadSweep, SkipsToT0InWholeSamplesAndMeanderPeriods) {
  Recording rec;
  FillRaw(rec, 20000, 0.1);  // dt = 0.0001 s
  rec.currentFile = "a_trace1_Err.cc";
  LoadSettings settings;
  settings.t0 = 1000;
  NullSink warnings;
  ASSERT_TRUE(LoadSweep(rec, 2, settings, warnings));
  EXPECT_DOUBLE_EQ(rec.t0, 1.0);
  EXPECT_EQ(rec.traces.nLast(2), 19999 - 10000);
  EXPECT_DOUBLE_EQ(rec.traces[2].V[0], 10000);

  rec.currentFile = "a_trace1_Err.FC";
  rec.par.FiringClampOn = 1;
  rec.par.dtPar = 0.1;
  rec.par.FCPars.Freq = 1000.0 / 300;  // nPeriod = 3000 samples
  ASSERT_TRUE(LoadSweep(rec, 2, settings, warnings));
  EXPECT_EQ(rec.par.FCPars.nPeriod, 3000);
  EXPECT_NEAR(rec.t0, 0.9, 1e-12);
  EXPECT_DOUBLE_EQ(rec.traces[2].V[0], 9000);
}

TEST(LoadSweep, T0BeyondTheEndLeavesTheSlotEmpty) {
  Recording rec;
  FillRaw(rec, 10);
  rec.currentFile = "a_trace1_Err.cc";
  LoadSettings settings;
  settings.t0 = 50;
  NullSink warnings;
  ASSERT_TRUE(LoadSweep(rec, 1, settings, warnings));
  EXPECT_LT(rec.traces.nLast(1), 0);
  EXPECT_TRUE(rec.traces[1].V.empty());
}

TEST(LoadSweep, LongSweepIsCutWithAWarning) {
  Recording rec;
  FillRaw(rec, kMaxSweepSamples + 5, 0.05);
  rec.currentFile = "a_trace1_Err.cc";
  LoadSettings settings;
  CollectingSink warnings;
  ASSERT_TRUE(LoadSweep(rec, 1, settings, warnings));
  EXPECT_EQ(rec.traces.nLast(1), kMaxSweepSamples - 1);
  EXPECT_EQ(rec.traces[1].V.size(), static_cast<std::size_t>(kMaxSweepSamples));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("it is cut at 900001"));
}

TEST(LoadSweep, BadNameOrSlotLeavesTheSlotAsItWas) {
  Recording rec;
  FillRaw(rec, 10);
  LoadSettings settings;
  NullSink warnings;
  rec.currentFile = "a_trace3_Err.cc";
  ASSERT_TRUE(LoadSweep(rec, 1, settings, warnings));
  rec.currentFile = "a_trace3.cc";
  FillRaw(rec, 4);
  EXPECT_FALSE(LoadSweep(rec, 1, settings, warnings));
  EXPECT_EQ(rec.traces.nLast(1), 9);
  const Status s = LoadSweep(rec, kMaxSweeps + 1, settings, warnings);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("at most 50 sweeps"));
}

TEST(LoadSweep, IrealAbsentCopiesTheCommandCurrent) {
  Recording rec;
  FillRaw(rec, 10);
  rec.currentFile = "a_trace3_Err.cc";
  LoadSettings settings;
  settings.lost = LostParameters::IrealAbsent;
  NullSink warnings;
  ASSERT_TRUE(LoadSweep(rec, 1, settings, warnings));
  EXPECT_EQ(rec.traces[1].Ireal, rec.traces[1].Icom);
}

// The grid cell of a sweep: current index fastest, conductance index next.
// The samples of a read move into the slot they load: a second slot loaded
// from the same read must fail, not take the first slot's old arrays.
TEST(LoadSweep, SamplesOfOneReadGoIntoOneSlot) {
  Recording rec;
  FillRaw(rec, 6);
  rec.currentFile = "a_trace1_Err.cc";
  LoadSettings settings;
  NullSink warnings;
  ASSERT_TRUE(LoadSweep(rec, 1, settings, warnings));
  EXPECT_EQ(rec.traces[1].V, (std::vector<double>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(rec.traces[1].Icom, (std::vector<double>{100, 101, 102, 103, 104, 105}));
  EXPECT_EQ(rec.traces[1].Ireal, (std::vector<double>{0, -1, -2, -3, -4, -5}));

  const Status again = LoadSweep(rec, 2, settings, warnings);
  ASSERT_FALSE(again);
  EXPECT_THAT(again.error().What(), HasSubstr("read again"));
  EXPECT_EQ(rec.traces.nLast(2), -1);
  EXPECT_EQ(rec.traces[1].V.size(), 6u);
}

TEST(LoadSweep, StepValuesOfGridAndStepSweeps) {
  Recording rec;
  FillRaw(rec, 10);
  GridParsRec& g = rec.par.GridPars;
  g.IgFirst = 0, g.IgLast = 200, g.nI = 3;
  g.GgFirst = 1, g.GgLast = 4, g.nG = 4;
  g.tIOn = 2, g.tIOff = 100;
  rec.par.tStimStart = 3, rec.par.tStimEnd = 5;
  LoadSettings settings;
  NullSink warnings;

  struct Case {
    std::string name;
    int gridKind;
    double I, G, tOn, tOff;
  };
  const Case cases[] = {
      {"a_trace7_Err.us", 1, 0, 3, 2, 10},      // FileNo 7, nI 3: i = 1, j = 2
      {"a_trace5_Err.us", 2, 100, 2, 2, 10},    // i = 2, j = 1
      {"a_trace6_Err.us", 3, -3, 20, 2, 10},    // tables: ITable[2], GTable[1]
      {"a_trace12_Err.us", 3, -3, 0, 2, 10},    // j = 3 beyond GTable
      {"a_trace7_Err.us", 9, 0, 0, 2, 10},      // unknown grid kind
      {"a_trace1_Err.cc", 1, 25, 0.5, 3, 5},    // I0 / CmdScale
      {"a_trace1_Err.dat", 1, 0, 0, 3, 5},      // neither grid nor step
  };
  rec.par.ClampWave.I0 = 50, rec.par.ClampWave.G0 = 1, rec.par.StepPars.CmdScale = 2;
  g.ITable = {-1, -2, -3};
  g.GTable = {10, 20, 30};
  for (const Case& c : cases) {
    FillRaw(rec, 10);  // each load takes the samples of its read
    rec.currentFile = c.name;
    g.GridKind = c.gridKind;
    ASSERT_TRUE(LoadSweep(rec, 4, settings, warnings)) << c.name;
    EXPECT_DOUBLE_EQ(rec.Ifile[4], c.I) << c.name << " kind " << c.gridKind;
    EXPECT_DOUBLE_EQ(rec.Gfile[4], c.G) << c.name << " kind " << c.gridKind;
    EXPECT_DOUBLE_EQ(rec.tOn, c.tOn) << c.name;
    EXPECT_DOUBLE_EQ(rec.tOff, c.tOff) << c.name;
  }
  EXPECT_DOUBLE_EQ(rec.Gain, 2);

  // Without a recorded scale the amplitudes are taken as they are, never divided by 0.
  rec.par.StepPars.CmdScale = 0;
  rec.currentFile = "a_trace1_Err.cc";
  ASSERT_TRUE(LoadSweep(rec, 4, settings, warnings));
  EXPECT_DOUBLE_EQ(rec.Ifile[4], 50);
  EXPECT_TRUE(std::isfinite(rec.Gfile[4]));
}

TEST(LoadSweepFiles, ReadsParameterFileThenTraceAndReloads) {
  TempDir dir;
  RecordingParameters written;
  written.Duration = 999, written.dtPar = 0.1, written.tStimStart = 0.15, written.tStimEnd = 0.25;
  written.TimeFactor = 1;
  ASSERT_TRUE(WriteParameterFile(dir / "e.par", written));
  const auto trace = dir.Write("e_trace2_Err.cc", "0.1 1 0 0 0 0\n0.2 2 0 0 0 0\n0.3 3 0 0 0 0\n");
  Recording rec;
  rec.FileNames = {"", trace.string()};
  LoadSettings settings;
  NullSink warnings;
  ASSERT_TRUE(ReloadSweep(rec, 1, settings, warnings));
  EXPECT_EQ(rec.FileNo, 2);
  EXPECT_DOUBLE_EQ(rec.par.Duration, 0.3);  // replaced by the time of the last sample
  EXPECT_DOUBLE_EQ(rec.tOff, 0.25);
  EXPECT_THAT(rec.traces[1].V, ElementsAre(1, 2, 3));
  EXPECT_DOUBLE_EQ(rec.dt, 0.0001);
}

// Without its parameter file a recording is read with the parameters of the
// one before, which the user must be told.
TEST(LoadSweepFiles, MissingParameterFileKeepsTheParametersAndWarns) {
  TempDir dir;
  const auto trace = dir.Write("f_trace1_Err.cc", "0.1 1 0 0 0 0\n0.2 2 0 0 0 0\n");
  Recording rec;
  rec.par.TimeFactor = 1;
  rec.par.tStimStart = 0.15;
  CollectingSink warnings;
  ASSERT_TRUE(LoadSweepFiles(rec, trace, warnings));
  EXPECT_DOUBLE_EQ(rec.par.tStimStart, 0.15);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("f.par: no parameter file; the parameters of the recording read before are kept"));
}

}  // namespace
}  // namespace velmora
