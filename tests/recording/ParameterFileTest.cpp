#include "recording/ParameterFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Fixtures.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using testing::ParameterFileText;
using testing::TempDir;

// A value for every field of the right kind; field n of a real kind holds n + 0.5.
std::string ValueOf(int n) {
  switch (KindOfField(n)) {
    case FieldKind::Integer: return std::to_string(n == 26 || n == 27 ? 2 : n);
    case FieldKind::Text: return "  free text, with blanks ";
    case FieldKind::List: return n == 211 ? "10 20 99" : "1.5 2.5";
    case FieldKind::Real: break;
  }
  return std::to_string(n) + ".5";
}

TEST(ParameterFileName, CutsBeforeTheFirstTraceOfTheFileName) {
  EXPECT_EQ(ParameterFileName("cell3_trace12_Err.us"), "cell3.par");
  EXPECT_EQ(ParameterFileName("x_trace_trace.dat"), "x.par");
  EXPECT_EQ(ParameterFileName("notrace.dat"), ".par");
  // A directory whose name holds "_trace" must not cut the path.
  EXPECT_EQ(ParameterFileName("/data/my_traces/cell_trace1_Err.cc"), "/data/my_traces/cell.par");
}

// Every field lands where the table puts it, with its kind, and the writer reproduces the file.
TEST(ReadParameterFile, FullFileFillsNamedFieldsAndStore) {
  TempDir dir;
  const auto path = dir.Write("c.par", ParameterFileText(kParameterFields, ValueOf));
  RecordingParameters par;
  ASSERT_TRUE(ReadParameterFile(path, par));
  EXPECT_DOUBLE_EQ(par.Duration, 1.5);
  EXPECT_EQ(par.nPar, 2);
  EXPECT_DOUBLE_EQ(par.dtPar, 3.5);
  EXPECT_EQ(par.StepPars.nSteps, 16);
  EXPECT_DOUBLE_EQ(par.StepPars.CmdScale, 21.5);
  EXPECT_EQ(par.GridPars.nI, 2);
  EXPECT_EQ(par.ProtocolKind, 31);
  EXPECT_EQ(par.FiringClampOn, 33);
  EXPECT_EQ(par.HasCh56, 34);
  EXPECT_DOUBLE_EQ(par.FCPars.Freq, 40.5);
  EXPECT_DOUBLE_EQ(par.FCPars.Vswitch, 41.5);
  EXPECT_DOUBLE_EQ(par.FCPars.Tpulse, 44.5);
  EXPECT_EQ(par.ClampWave.WaveKind, 55);
  EXPECT_DOUBLE_EQ(par.GridPars.tGOff, 61.5);
  EXPECT_EQ(par.HasCh4, 68);
  EXPECT_EQ(par.ClampWave.WaveAlways, 100);
  EXPECT_EQ(par.GridPars.GridKind, 210);
  EXPECT_EQ(par.GridPars.ITable, (std::vector<double>{10, 20}));  // nI = 2 of the 3 on the line
  EXPECT_EQ(par.GridPars.GTable, (std::vector<double>{1.5, 2.5}));
  EXPECT_DOUBLE_EQ(par.ClampWave.EI, 224.5);
  EXPECT_EQ(par.TimeFactor, 226);
  EXPECT_EQ(par.SpikesOff, 234);
  EXPECT_EQ(std::get<std::string>(par.stored.at(93)), "  free text, with blanks ");
  EXPECT_EQ(std::get<long>(par.stored.at(248)), 248);
  EXPECT_DOUBLE_EQ(std::get<double>(par.stored.at(247)), 247.5);

  ASSERT_TRUE(WriteParameterFile(dir / "copy.par", par));
  RecordingParameters again;
  ASSERT_TRUE(ReadParameterFile(dir / "copy.par", again));
  EXPECT_EQ(again.stored, par.stored);
}

// The recorder's oldest files stop after field 54: the grid windows default to the stimulus window.
TEST(ReadParameterFile, FileOf54FieldsAppliesEndOfFileDefaults) {
  TempDir dir;
  const auto path = dir.Write("c.par", ParameterFileText(54, ValueOf));
  RecordingParameters par;
  par.ClampWave.E0 = 7;  // field 56: beyond the end, keeps its value
  par.HasCh4 = 1;
  ASSERT_TRUE(ReadParameterFile(path, par));
  EXPECT_EQ(par.ClampWave.WaveKind, -13);
  EXPECT_DOUBLE_EQ(par.GridPars.tIOn, 4.5);
  EXPECT_DOUBLE_EQ(par.GridPars.tIOff, 5.5);
  EXPECT_DOUBLE_EQ(par.GridPars.tGOn, 4.5);
  EXPECT_DOUBLE_EQ(par.GridPars.tGOff, 5.5);
  EXPECT_DOUBLE_EQ(par.ClampWave.E0, 7);
  EXPECT_EQ(par.HasCh4, 1);
}

TEST(ReadParameterFile, EmptyField74KeepsItsValueAndField75IsRead) {
  TempDir dir;
  const auto path = dir.Write("c.par", ParameterFileText(80, [](int n) { return n == 74 ? "" : ValueOf(n); }));
  RecordingParameters par;
  par.stored[74] = long{3};
  ASSERT_TRUE(ReadParameterFile(path, par));
  EXPECT_EQ(std::get<long>(par.stored.at(74)), 3);
  EXPECT_EQ(std::get<long>(par.stored.at(75)), 75);
}

TEST(ReadParameterFile, AcceptsLfLineEnds) {
  TempDir dir;
  std::string text = ParameterFileText(54, ValueOf);
  std::erase(text, '\r');
  RecordingParameters par;
  ASSERT_TRUE(ReadParameterFile(dir.Write("c.par", text), par));
  EXPECT_DOUBLE_EQ(par.ClampWave.TG, 54.5);
}

TEST(ReadParameterFile, MissingFileChangesNothing) {
  TempDir dir;
  RecordingParameters par;
  par.Duration = 12;
  EXPECT_TRUE(ReadParameterFile(dir / "none.par", par));
  EXPECT_DOUBLE_EQ(par.Duration, 12);
}

// A bad value stops the read where it is; what came before is kept, what follows is not read.
TEST(ReadParameterFile, BadValueLinesAreErrorsNamingFileLineAndField) {
  struct Case {
    int field;
    std::string value;
    std::string message;
  };
  const Case cases[] = {
      {12, "0,05", "line 24, field 12: \"0,05\" is not a number"},
      {16, "2.5", "line 32, field 16: \"2.5\" is not a whole number"},
      {3, "", "line 6, field 3: the value line is empty"},
      {3, "nan", "line 6, field 3: \"nan\" is not a number"},
      {211, "1 x", "line 422, field 211: \"x\" is not a number"},
      {212, "1", "line 424, field 212: 2 numbers expected, 1 found"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const auto path =
        dir.Write("bad.par", ParameterFileText(248, [&](int n) { return n == c.field ? c.value : ValueOf(n); }));
    RecordingParameters par;
    par.SpikesOff = -1;
    const Status s = ReadParameterFile(path, par);
    ASSERT_FALSE(s) << c.value;
    EXPECT_THAT(s.error().What(), HasSubstr("bad.par: " + c.message)) << c.value;
    EXPECT_DOUBLE_EQ(par.Duration, 1.5) << c.value;  // read before the fault
    EXPECT_EQ(par.SpikesOff, -1) << c.value;          // after it: untouched
  }
}

TEST(ReadParameterFile, TableLongerThan100IsAnErrorNotAnOverflow) {
  TempDir dir;
  const auto path = dir.Write("c.par", ParameterFileText(248, [](int n) {
    return n == 26 ? std::string("101") : n == 211 ? std::string(101 * 2, ' ') : ValueOf(n);
  }));
  RecordingParameters par;
  const Status s = ReadParameterFile(path, par);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("at most 100"));
  EXPECT_TRUE(par.GridPars.ITable.empty());
}

TEST(ReadParameterFile, FileEndingBeforeField54IsAnError) {
  TempDir dir;
  const auto path = dir.Write("short.par", ParameterFileText(30, ValueOf));
  RecordingParameters par;
  const Status s = ReadParameterFile(path, par);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("short.par: line 62, field 31: the file ends before this field"));
  EXPECT_DOUBLE_EQ(par.ClampWave.TI, 30.5);
}

}  // namespace
}  // namespace velmora
