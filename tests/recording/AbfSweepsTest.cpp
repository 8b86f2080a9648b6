// ABF and ATF sweeps among the main format's: a directory without a list
// lists them, each loads into a slot as its samples would from the main
// format, and the file is read once for all its sweeps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "modelcell/AbfWriter.h"
#include "recording/AbfSweeps.h"
#include "recording/ListOfFiles.h"
#include "recording/ParameterFile.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TempDir;

constexpr int kSamples = 2000;

// Vm (mV) and Imeas (pA) of 3 sweeps, float32 so that values are exact;
// DAC 0 in pA steps from -40 by +30 pA per sweep over samples 400..1400
// (h = 31: epoch A 31..400). Channels in `units` replace mV and pA.
AbfContent Steps(std::vector<std::string> units = {"mV", "pA"}, std::string dacUnit = "pA") {
  AbfContent content;
  content.dt = 0.1;
  content.float32 = true;
  content.channels = {{"Vm", units[0], {}}, {"Imeas", units[1], {}}};
  for (int k = 0; k < 3; ++k) {
    std::vector<double> v, i;
    for (int j = 0; j < kSamples; ++j) {
      v.push_back(-70 + 0.01 * j + k);
      i.push_back(100 * k + 0.5 * (j % 7));
    }
    content.channels[0].sweeps.push_back(v);
    content.channels[1].sweeps.push_back(i);
  }
  content.dac.name = "Cmd 0";
  content.dac.unit = dacUnit;
  content.dac.epochs = {{0, static_cast<int>(EpochType::Step), 0, 0, 369, 0, 0, 0},
                        {1, static_cast<int>(EpochType::Step), -40, 30, 1000, 0, 0, 0}};
  return content;
}

// Loads the named sweep into `slot` as the list of files does.
Status Load(Recording& rec, const std::string& name, int slot, WarningSink& warnings, LoadSettings settings = {}) {
  if (Status s = LoadSweepFiles(rec, name, warnings, settings); !s) return s;
  return LoadSweep(rec, slot, settings, warnings);
}

// The name is the only carrier of file and sweep from the list to the load:
// a name that is not an ABF sweep must never be taken for one.
TEST(AbfSweepName, NamesOnlyTheSweepsOfAbfAndAtfFiles) {
  EXPECT_EQ(AbfSweepName("dir/cell01.abf", 2), "dir/cell01.abf #3");
  const auto ref = ParseAbfSweepName("dir/cell 01.ABF #12");
  ASSERT_TRUE(ref);
  EXPECT_EQ(ref->file, "dir/cell 01.ABF");
  EXPECT_EQ(ref->sweep, 11);
  EXPECT_TRUE(ParseAbfSweepName("x.atf #1"));
  for (const char* other : {"cell01.abf", "cell01.abf #", "cell01.abf #0", "cell01.abf #-1", "cell01.abf #3a",
                            "cell01.txt #3", "cell3_trace12_Err.cc", "a.abf #99999999999999999999"})
    EXPECT_FALSE(ParseAbfSweepName(other)) << other;
  EXPECT_EQ(RecordingBaseName("dir/cell01.abf #3"), "dir/cell01.abf.3");
  EXPECT_EQ(RecordingBaseName("dir/cell3_trace12_Err.cc"), "dir/cell3");
}

// Sorted by file name, then sweep; a damaged file is named and left out
// while the others are listed; a "ListOfFiles" keeps the main format.
TEST(ListAbfSweeps, OneEntryPerSweepSortedAndDamagedFilesReported) {
  TempDir data, home;
  ASSERT_TRUE(WriteAbf2(data / "b.abf", Steps()));
  AbfContent one = Steps();
  for (auto& ch : one.channels) ch.sweeps.resize(1);
  ASSERT_TRUE(WriteAbf2(data / "a.ABF", one));
  data.Write("broken.abf", "ABF2 cut short");
  data.Write("notes.txt", "not a recording");
  Recording rec;
  CollectingSink warnings;
  auto list = ReadListOfFiles(data.path(), home.path(), rec, warnings);
  ASSERT_TRUE(list) << list.error().What();
  std::vector<std::string> shown;
  for (const ListedRecording& r : *list) shown.push_back(r.trace);
  EXPECT_THAT(shown, ElementsAre("a.ABF #1", "b.abf #1", "b.abf #2", "b.abf #3"));
  EXPECT_EQ((*list)[2].second, "b.abf");
  EXPECT_EQ(rec.nListed, 4);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], AllOf(HasSubstr("broken.abf"), HasSubstr("not listed")));
  EXPECT_EQ(PreviousDir(home.path()), data.path().string());

  data.Write("ListOfFiles", "x_trace1_Err.cc\r\nx.par\r\n");
  list = ReadListOfFiles(data.path(), home.path(), rec, warnings);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 1u);
  EXPECT_EQ((*list)[0].trace, "x_trace1_Err.cc");
}

// Sample k of the sweep is loaded sample k at k dt; the step epoch gives
// the window and the step of the sweep, as a parameter file would.
TEST(ReadAbfSweep, LoadsTheSweepAsTheMainFormatWould) {
  TempDir data;
  const AbfContent content = Steps();
  ASSERT_TRUE(WriteAbf2(data / "c.abf", content));
  Recording rec;
  CollectingSink warnings;
  ASSERT_TRUE(Load(rec, AbfSweepName((data / "c.abf").string(), 2), 1, warnings));
  EXPECT_EQ(warnings.size(), 0u);
  const SweepSlot& s = rec.traces[1];
  ASSERT_EQ(s.nLast, kSamples - 1);
  for (int j : {0, 1, 399, 400, 1399, 1400, kSamples - 1}) {
    EXPECT_DOUBLE_EQ(s.V[j], static_cast<float>(content.channels[0].sweeps[2][j])) << j;
    EXPECT_DOUBLE_EQ(s.Ireal[j], static_cast<float>(content.channels[1].sweeps[2][j])) << j;
    EXPECT_DOUBLE_EQ(s.Icom[j], j >= 400 && j < 1400 ? 20.0 : 0.0) << j;
  }
  EXPECT_DOUBLE_EQ(rec.dt, 0.0001);
  EXPECT_EQ(rec.t0, 0);
  EXPECT_EQ(rec.par.ProtocolKind, 2);
  EXPECT_NEAR(rec.tOn, 40, 1e-9);
  EXPECT_NEAR(rec.tOff, 140, 1e-9);
  EXPECT_EQ(rec.Ifile[1], 20);
  EXPECT_EQ(rec.FileNo, 3);
  EXPECT_EQ(rec.par.StepPars.Ifirst, -40);
  EXPECT_EQ(rec.par.StepPars.Ilast, 20);
  EXPECT_EQ(rec.par.StepPars.nSteps, 3);
  EXPECT_NEAR(rec.par.Duration, kSamples * 0.1, 1e-9);

  // "Analyze since t0" cuts as in the main format.
  LoadSettings later;
  later.t0 = 10;  // ms: 100 samples
  ASSERT_TRUE(Load(rec, AbfSweepName((data / "c.abf").string(), 2), 2, warnings, later));
  EXPECT_EQ(rec.traces[2].nLast, kSamples - 101);
  EXPECT_DOUBLE_EQ(rec.traces[2].V[0], static_cast<float>(content.channels[0].sweeps[2][100]));
  EXPECT_NEAR(rec.t0, 0.01, 1e-12);
}

// A command whose level changes by ramps has no step: the whole sweep is
// the stimulus window and no step current is claimed; a command in nA is
// turned into pA.
TEST(ReadAbfSweep, WithoutAStepTheWholeSweepIsTheWindow) {
  TempDir data;
  AbfContent ramp = Steps({"mV", "pA"}, "nA");
  ramp.dac.epochs[1].type = static_cast<int>(EpochType::Ramp);
  ASSERT_TRUE(WriteAbf2(data / "r.abf", ramp));
  Recording rec;
  CollectingSink warnings;
  ASSERT_TRUE(Load(rec, AbfSweepName((data / "r.abf").string(), 1), 1, warnings));
  EXPECT_EQ(rec.par.ProtocolKind, 0);
  EXPECT_EQ(rec.tOn, 0);
  EXPECT_NEAR(rec.tOff, kSamples * 0.1, 1e-9);
  EXPECT_EQ(rec.Ifile[1], 0);
  EXPECT_NEAR(rec.traces[1].Icom[1399], -10000 * 999.0 / 1000, 1e-6);  // -40 -> -10 nA ramp, in pA
}

// Without a current channel the command stands in, said once per file and
// not once per sweep; the setting chooses channels the units would not.
TEST(ReadAbfSweep, CommandStandsInForAMissingCurrentAndTheSettingChoosesChannels) {
  TempDir data;
  ASSERT_TRUE(WriteAbf2(data / "v.abf", Steps({"mV", "mV"})));
  Recording rec;
  CollectingSink warnings;
  const std::string file = (data / "v.abf").string();
  for (int k = 0; k < 3; ++k) ASSERT_TRUE(Load(rec, AbfSweepName(file, k), k + 1, warnings));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], AllOf(HasSubstr("v.abf"), HasSubstr("command current stands in")));
  EXPECT_EQ(rec.traces[2].Ireal, rec.traces[2].Icom);

  LoadSettings second;
  second.voltageChannel = 1;
  ASSERT_TRUE(Load(rec, AbfSweepName(file, 0), 1, warnings, second));
  EXPECT_DOUBLE_EQ(rec.traces[1].V[3], 1.5);  // Imeas of sweep 1
  second.voltageChannel = 2;
  const Status none = Load(rec, AbfSweepName(file, 0), 1, warnings, second);
  ASSERT_FALSE(none);
  EXPECT_THAT(none.error().What(), AllOf(HasSubstr("v.abf"), HasSubstr("no channel 2")));

  const Status past = Load(rec, AbfSweepName(file, 3), 1, warnings);
  ASSERT_FALSE(past);
  EXPECT_THAT(past.error().What(), HasSubstr("there is no sweep 4: the file has 3"));
}

// Loading every sweep of a file reads it once; a file changed on disk is
// read again rather than served from the copy of the old one.
TEST(ReadAbfSweep, AFileIsReadOnceForAllItsSweepsUntilItChanges) {
  TempDir data;
  ASSERT_TRUE(WriteAbf2(data / "c.abf", Steps()));
  Recording rec;
  NullSink warnings;
  const std::string file = (data / "c.abf").string();
  for (int k = 0; k < 3; ++k) ASSERT_TRUE(Load(rec, AbfSweepName(file, k), k + 1, warnings));
  EXPECT_EQ(rec.raw.tracesParsed, 1);

  AbfContent changed = Steps();
  changed.channels[0].sweeps[0][0] = 12.5;
  for (auto& ch : changed.channels) ch.sweeps.resize(2);
  ASSERT_TRUE(WriteAbf2(data / "c.abf", changed));
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(2));
  ASSERT_TRUE(Load(rec, AbfSweepName(file, 0), 1, warnings));
  EXPECT_EQ(rec.raw.tracesParsed, 2);
  EXPECT_EQ(rec.traces[1].V[0], 12.5);
}

// A sweep longer than a slot holds (a gap-free recording is one sweep) is
// cut at the cap with the main format's warning.
TEST(ReadAbfSweep, LongSweepIsCutAtTheCapWithAWarning) {
  TempDir data;
  AbfContent content;
  content.dt = 0.05;
  std::vector<double> v(kMaxSweepSamples + 99);
  for (std::size_t j = 0; j < v.size(); ++j) v[j] = -60 + static_cast<double>(j % 100) / 10;
  content.channels = {{"Vm", "mV", {v}}};
  content.dac.unit = "pA";
  ASSERT_TRUE(WriteAbf2(data / "long.abf", content));
  Recording rec;
  CollectingSink warnings;
  ASSERT_TRUE(Load(rec, AbfSweepName((data / "long.abf").string(), 0), 1, warnings));
  EXPECT_EQ(rec.traces[1].nLast, kMaxSweepSamples - 1);
  ASSERT_EQ(warnings.size(), 2u);  // the command stands in; the cut
  EXPECT_THAT(warnings[1], HasSubstr("it is cut at 900001"));
  EXPECT_NEAR(rec.traces[1].V[kMaxSweepSamples - 1], v[kMaxSweepSamples - 1], 0.01);
}

// One sweep of a file cannot go without the others: "d" deletes nothing
// and says why, instead of removing a whole recording.
TEST(DeleteSelectedRecordings, SweepsOfAbfFilesAreNotDeleted) {
  TempDir data;
  ASSERT_TRUE(WriteAbf2(data / "c.abf", Steps()));
  NullSink warnings;
  const Status s = DeleteSelectedRecordings(data.path(), {0}, warnings);
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("not deleted"));
  EXPECT_TRUE(fs::exists(data / "c.abf"));
}

// Form9 shows what the analysis takes from the header.
TEST(ShowAbfHeader, ShowsTheFieldsThatMatter) {
  TempDir data;
  ASSERT_TRUE(WriteAbf2(data / "c.abf", Steps()));
  NullSink warnings;
  const auto abf = ReadAbf(data / "c.abf", warnings);
  ASSERT_TRUE(abf);
  const ParameterLines shown = ShowAbfHeader(*abf, 1, LoadSettings{});
  ASSERT_EQ(shown.labels.size(), shown.values.size());
  std::string all;
  for (std::size_t i = 0; i < shown.labels.size(); ++i) all += shown.labels[i] + " = " + shown.values[i] + "\n";
  for (const char* want :
       {"Format = ABF2 2.", "Operation mode = 5 episodic", "Sample interval, µs = 100 (10000 Hz)",
        "Sweeps = 3 of 2000 samples", "Channel 0 = Vm [mV], input 0: membrane voltage",
        "Channel 1 = Imeas [pA], input 1: measured current", "Epoch B = step: -40 pA (+30 per sweep)",
        "ProtocolKind = 2 (step of epoch B)", "tStimStart, ms = 40", "I0, pA = -10"})
    EXPECT_THAT(all, HasSubstr(want));
}

}  // namespace
}  // namespace velmora
