// What the readers make of files an adversary, or an accident, put in a
// data directory: special files, links to devices, endless lines, and
// inputs that used to pass without a word.

#include <sys/stat.h>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording/AltFormats.h"
#include "recording/Filter.h"
#include "recording/ListOfFiles.h"
#include "recording/ParameterFile.h"
#include "recording/TraceFile.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::BinaryTrace;
using testing::TempDir;

// Puts a pipe, a link to /dev/zero or a directory at dir/name.
void MakeSpecial(const TempDir& dir, const std::string& kind, const std::string& name) {
  fs::remove(dir / name);
  if (kind == "pipe") {
    ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
  }
  if (kind == "zero") fs::create_symlink("/dev/zero", dir / name);
  if (kind == "directory") fs::create_directory(dir / name);
}

const char* const kSpecialKinds[] = {"pipe", "zero", "directory"};

// A list of files that is a pipe hung the program, /dev/zero ran it out of
// memory: both are refused at once with the path named.
TEST(ReadListOfFiles, SpecialFileOrEndlessLineIsAnErrorNamingTheList) {
  for (const char* kind : kSpecialKinds) {
    TempDir data;
    MakeSpecial(data, kind, "ListOfFiles");
    Recording rec;
    NullSink warnings;
    const auto list = ReadListOfFiles(data.path(), {}, rec, warnings);
    ASSERT_FALSE(list) << kind;
    EXPECT_THAT(list.error().What(), HasSubstr("ListOfFiles: is a")) << kind;
    EXPECT_THAT(list.error().What(), HasSubstr("not a regular file")) << kind;
  }
  TempDir data;
  data.Write("ListOfFiles", "a_trace1_Err.cc\r\n" + std::string(5000, 'x'));
  Recording rec;
  NullSink warnings;
  const auto list = ReadListOfFiles(data.path(), {}, rec, warnings);
  ASSERT_FALSE(list);
  EXPECT_THAT(list.error().What(), HasSubstr("ListOfFiles: line 2: longer than 4096 bytes"));
}

// "PreviousDir.txt" is the desktop program's memory; a caller without a
// home directory (the command line) must not leave one wherever it runs.
TEST(ReadListOfFiles, WithoutAHomeDirectoryNoPreviousDirIsWritten) {
  TempDir data;
  data.Write("ListOfFiles", "a_trace1_Err.cc\r\na.par\r\n");
  Recording rec;
  NullSink warnings;
  ASSERT_TRUE(ReadListOfFiles(data.path(), {}, rec, warnings));
  EXPECT_FALSE(fs::exists("PreviousDir.txt"));
  EXPECT_FALSE(fs::exists(data / "PreviousDir.txt"));
}

// A .par that is there but unreadable used to be skipped without a word,
// and the sweep took the step of the parameter file read before it.
TEST(LoadSweepFiles, ParameterFileThatIsNoRegularFileStopsTheLoad) {
  for (const char* kind : kSpecialKinds) {
    TempDir dir;
    MakeSpecial(dir, kind, "c.par");
    dir.Write("c_trace1_Err.cc", "1 -70 0 0 0 0\r\n2 -70 0 0 0 0\r\n");
    Recording rec;
    rec.par.ClampWave.I0 = 123;  // the previous recording's step
    NullSink warnings;
    const Status s = LoadSweepFiles(rec, dir / "c_trace1_Err.cc", warnings);
    ASSERT_FALSE(s) << kind;
    EXPECT_THAT(s.error().What(), HasSubstr("c.par: is a")) << kind;
  }
}

// Special files in place of a trace or its side files: refused, never read for ever.
TEST(ReadTrace, TraceOrSideFileThatIsNoRegularFileIsAnError) {
  for (const std::string name : {"t_trace1_Err.cc", "t.lfp"}) {
    TempDir dir;
    if (name != "t_trace1_Err.cc") dir.Write("t_trace1_Err.cc", "1 -70 0 0 0 0\r\n");
    MakeSpecial(dir, "pipe", name);
    Recording rec;
    NullSink warnings;
    const Status s = ReadTrace(rec, dir / "t_trace1_Err.cc", warnings);
    ASSERT_FALSE(s) << name;
    EXPECT_THAT(s.error().What(), HasSubstr(name + ": is a pipe, not a regular file"));
  }
}

// A trace line that fills a whole read block is no trace line: an error, not all memory.
TEST(ReadTrace, TextLineLongerThanABlockIsAnError) {
  TempDir dir;
  const std::string junk(9 << 20, '7');
  dir.Write("t_trace1_Err.cc", "1 -70 0 0 0 0\r\n" + junk + "\r\n");
  Recording rec;
  NullSink warnings;
  const Status s = ReadTrace(rec, dir / "t_trace1_Err.cc", warnings);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("t_trace1_Err.cc: line 2: longer than"));
  EXPECT_LT(s.error().What().size(), 200u);
  EXPECT_EQ(rec.raw.nRaw, -1);
}

// A scale of 0 makes a flat channel out of any recording; the user must hear of it.
TEST(ReadTrace, BinaryScaleOfZeroIsAWarning) {
  TempDir dir;
  std::vector<std::vector<std::int16_t>> samples(4, std::vector<std::int16_t>{1, 2, 3});
  dir.Write("z_trace1_Err.cc_b", BinaryTrace(0.1, "", {1, 0, 1}, {0, 5, 0}, samples));
  Recording rec;
  rec.par.TimeFactor = 1;
  CollectingSink warnings;
  ASSERT_TRUE(ReadTrace(rec, dir / "z_trace1_Err.cc", warnings));
  EXPECT_THAT(warnings.warnings, ElementsAre(HasSubstr(
                                     "z_trace1_Err.cc_b: channel 2 has the scale 0; every sample of it is its offset 5")));
}

// A short field-potential line used to become 0 silently.
TEST(ReadTrace, ShortSideFileLinesAreAWarning) {
  TempDir dir;
  dir.Write("d.lfp", "0.1 5\r\n0.2\r\n0.3 7\r\n0.4\r\n");
  Recording rec;
  CollectingSink warnings;
  ASSERT_TRUE(ReadTrace(rec, dir.Write("d_trace1_Err.cc", "0.1 1 1 1 0 0\n"), warnings));
  EXPECT_THAT(rec.raw.LFPRaw, ElementsAre(5, 0, 7, 0));
  EXPECT_THAT(warnings.warnings,
              ElementsAre(HasSubstr("d.lfp: 2 lines hold fewer than 2 numbers, the first being line 2")));
}

// The header says how many sweeps there are, the columns say otherwise:
// the analysis goes by the columns, and the user is told.
TEST(ReadColumnFile, SweepCountOfTheHeaderAgainstTheColumnsIsAWarning) {
  TempDir dir;
  dir.Write("voltage.txt", "1 2 3\r\n4 5 6\r\n");
  VarnelFiles files{(dir / "voltage.txt").string(), "", (dir / "parameters.txt").string(), "", ""};
  VarnelHeader header;
  header.SampleRate = 1000;
  header.nSweepsHdr = 5;
  Recording rec;
  CollectingSink warnings;
  ASSERT_TRUE(ReadColumnFile(files, header, 1, 1, 1, rec, warnings));
  EXPECT_EQ(rec.nFiles, 3);
  EXPECT_THAT(warnings.warnings, ElementsAre(HasSubstr("voltage.txt: holds 3 columns where the header")));
  header.nSweepsHdr = 3;
  CollectingSink agreeing;
  ASSERT_TRUE(ReadColumnFile(files, header, 1, 1, 1, rec, agreeing));
  EXPECT_EQ(agreeing.size(), 0u);
}

// A mistyped "Iterations" ran the filter for days.
TEST(FilterVoltage, IterationsBeyondTheLimitAreCutWithAWarning) {
  const auto filtered = [](int iterations, WarningSink& warnings) {
    SweepSlot slot;
    slot.V.assign(1000, 0.0);
    slot.V[500] = 1;
    slot.nLast = 999;
    FilterSettings s;
    s.iterations = iterations;
    FilterVoltage(slot, 0.0001, s, warnings);
    return slot.V;
  };
  CollectingSink warnings, none;
  const std::vector<double> capped = filtered(1'000'000'000, warnings);
  EXPECT_THAT(warnings.warnings, ElementsAre(HasSubstr("Iterations 1000000000 is above 100")));
  EXPECT_EQ(capped, filtered(kMaxFilterIterations, none));
  EXPECT_EQ(none.size(), 0u);
}

}  // namespace
}  // namespace velmora
