#include "actions/FiRun.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "spikes/ResultFiles.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TempDir;

constexpr double kRate = 10000;  // Hz
constexpr int kSamples = 3001;   // 300 ms

// Rest at -70 mV; each spike rises to +30 mV in 1 ms and falls back in 2 ms.
std::vector<double> SpikyVoltage(const std::vector<double>& spikesMs) {
  std::vector<double> v(kSamples, -70);
  for (double t : spikesMs) {
    const int i0 = static_cast<int>(t * kRate / 1000);
    for (int i = 0; i <= 10; ++i) v[i0 + i] = -70 + 10 * i;
    for (int i = 1; i <= 20; ++i) v[i0 + 10 + i] = 30 - 5 * i;
  }
  return v;
}

std::string Columns(const std::vector<std::vector<double>>& sweeps) {
  std::string text;
  for (int j = 0; j < kSamples; ++j) {
    for (const auto& s : sweeps) text += fmt::format("{} ", s[j]);
    text += "\r\n";
  }
  return text;
}

// A column-format experiment: one sweep per entry of `spikes`, the clamp of
// sweep k being G = 1 + 2 (k - 1) nS, I = 100 + 50 (k - 1) pA; stimulus 50..250 ms.
void WriteExperiment(const fs::path& dir, const std::string& D, DirKind kind,
                     const std::vector<std::vector<double>>& spikes) {
  std::vector<std::vector<double>> V, I;
  for (const auto& s : spikes) V.push_back(SpikyVoltage(s)), I.push_back(std::vector<double>(kSamples, 0));
  const VarnelFiles f = BatchFiles(dir, D, kind);
  fs::create_directories(fs::path(f.VoltFile).parent_path());
  const auto write = [](const std::string& path, const std::string& text) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
  };
  write(f.VoltFile, Columns(V));
  write(f.CurrFile, Columns(I));
  if (kind == DirKind::OldColumns) {
    write(f.HeaderFile, "x\r\nx\r\n1\r\n2\r\n50\r\n200\r\nx\r\n10000\r\n100\r\n50\r\n0\r\nx\r\n0\r\n");
  } else {
    write(f.HeaderFile,
          fmt::format("title\r\n{} 1 2 50 200 0 10000 100 50 0 0 0 0 0 0 0 0 1 0 0 0 0\r\n", spikes.size()));
    std::string seq;
    for (std::size_t k = 1; k <= spikes.size(); ++k) seq += fmt::format("{} 0\r\n", k);
    write(f.GESeqFile, seq);
  }
}

Settings BatchSettings(FileFormat format, bool append) {
  Settings s = StartupSettings();
  s.format = format;
  s.Skip = 1;
  s.filter.on = false;
  s.fi.AppendOutput = append;
  return s;
}

// The records of out_nu.dat: nSpikes of each line after the header.
std::vector<int> CountsIn(const TempDir& dir) {
  std::vector<int> counts;
  const std::string text = dir.Read("out_nu.dat");
  std::size_t at = text.find("\r\n") + 2;
  for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    counts.push_back(std::stoi(text.substr(at + 32, 3)));
  return counts;
}

TEST(ListBatchDirs, GstAndGs1NamesAndTheKindOfTheLast) {
  struct Case {
    const char* name;
    std::vector<std::string> entries;
    std::vector<std::string> dirs;
    DirKind kind;
  };
  const Case cases[] = {
      {"old kind loses _gst", {"cell3_gst"}, {"cell3"}, DirKind::OldColumns},
      {"new kind keeps its name", {"exp.gs1"}, {"exp.gs1"}, DirKind::NewColumns},
      {"first entry is a real one", {"a.gs1", "b.gs1"}, {"a.gs1", "b.gs1"}, DirKind::NewColumns},
      {"mixed: the last decides", {"x_gst", "y.gs1"}, {"x", "y.gs1"}, DirKind::NewColumns},
      {"mixed the other way", {"y.gs1", "x_gst"}, {"y.gs1", "x"}, DirKind::OldColumns},
      {"both tests: listed twice", {"gs1_gst"}, {"gs1", "gs1"}, DirKind::NewColumns},
      {"_gst anywhere cuts the last four characters", {"a_gst_b"}, {"a_g"}, DirKind::OldColumns},
      {"others are not listed", {"notes.txt", "out_nu.dat"}, {}, DirKind::None},
  };
  for (const Case& c : cases) {
    const BatchDirs got = ListBatchDirs(c.entries);
    EXPECT_EQ(got.DirList, c.dirs) << c.name;
    EXPECT_EQ(got.kind, c.kind) << c.name;
  }
}

TEST(BatchFiles, EachKindNamesItsFiles) {
  const fs::path cur = "/data/set";
  const VarnelFiles old = BatchFiles(cur, "cell3", DirKind::OldColumns);
  EXPECT_EQ(old.VoltFile, "/data/set/cell3_gst/cell3_gst_voltage.txt");
  EXPECT_EQ(old.CurrFile, "/data/set/cell3_gst/cell3_gst_current.txt");
  EXPECT_EQ(old.HeaderFile, "/data/set/cell3_gst/cell3_gst_header.txt");
  EXPECT_EQ(old.GESeqFile, "");
  const VarnelFiles neu = BatchFiles(cur, "e.gs1", DirKind::NewColumns);
  EXPECT_EQ(neu.VoltFile, "/data/set/e.gs1/voltage.txt");
  EXPECT_EQ(neu.CurrFile, "/data/set/e.gs1/current.txt");
  EXPECT_EQ(neu.HeaderFile, "/data/set/e.gs1/parameters.txt");
  EXPECT_EQ(neu.GESeqFile, "/data/set/e.gs1/GE_sequence.txt");
  EXPECT_EQ(neu.CurDir, "/data/set/");
}

TEST(FileNumberLabel, NumberRightAlignedInThree) {
  EXPECT_EQ(FileNumberLabel(1), "File number=  1");
  EXPECT_EQ(FileNumberLabel(12), "File number= 12");
  EXPECT_EQ(FileNumberLabel(123), "File number=123");
  EXPECT_EQ(FileNumberLabel(1234), "File number=1234");
}

// Appending, every directory's sweeps follow each other in one set of files;
// rewriting, each directory's run empties them and only the last remains.
TEST(TreatAllDirs, AppendAccumulatesAndRewriteKeepsTheLastDirectory) {
  for (bool append : {true, false}) {
    TempDir dir;
    WriteExperiment(dir.path(), "a.gs1", DirKind::NewColumns, {{100, 150}, {80, 120, 160, 200}});
    WriteExperiment(dir.path(), "b.gs1", DirKind::NewColumns, {{100}});
    dir.Write("notes.txt", "not an experiment");
    Session session;
    Settings settings = BatchSettings(FileFormat::NewVarnel, append);
    CollectingSink warnings;
    const auto batch = TreatAllDirs(session, settings, dir.path(), warnings);
    ASSERT_TRUE(batch) << batch.error().What();
    ASSERT_EQ(batch->runs.size(), 2u);
    EXPECT_EQ(batch->runs[0].D, "a.gs1");
    ASSERT_EQ(batch->runs[0].run.sweeps.size(), 2u) << batch->runs[0].run.stopped;
    EXPECT_DOUBLE_EQ(batch->runs[0].run.sweeps[1].Gclamp, 3);
    EXPECT_DOUBLE_EQ(batch->runs[0].run.sweeps[1].Iclamp, 150);
    EXPECT_EQ(CountsIn(dir), append ? std::vector<int>({2, 4, 1}) : std::vector<int>({1})) << "append " << append;
    EXPECT_EQ(dir.Read("out_all_Rheobase.dat").find('%'), 0u);
    EXPECT_EQ(batch->label, "File number=  2");
    EXPECT_THAT(warnings.statuses, ::testing::IsSupersetOf({"File number=  1", "File number=  2"}));
    EXPECT_TRUE(warnings.warnings.empty()) << warnings.warnings.front();
  }
}

// One experiment that cannot be read must not cost the others their results.
TEST(TreatAllDirs, FailedDirectoryIsReportedAndTheBatchGoesOn) {
  TempDir dir;
  WriteExperiment(dir.path(), "a.gs1", DirKind::NewColumns, {{100}});
  fs::remove(dir / "a.gs1" / "voltage.txt");
  WriteExperiment(dir.path(), "b.gs1", DirKind::NewColumns, {{100, 150}});
  Session session;
  Settings settings = BatchSettings(FileFormat::NewVarnel, true);
  CollectingSink warnings;
  const auto batch = TreatAllDirs(session, settings, dir.path(), warnings);
  ASSERT_TRUE(batch);
  ASSERT_EQ(batch->runs.size(), 2u);
  EXPECT_THAT(batch->runs[0].run.stopped, HasSubstr("voltage.txt"));
  EXPECT_EQ(batch->runs[1].run.sweeps.size(), 1u);
  EXPECT_EQ(CountsIn(dir), std::vector<int>({2}));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], ::testing::StartsWith("a.gs1: "));
}

TEST(TreatAllDirs, ResultFileErrorEndsTheBatch) {
  TempDir dir;
  WriteExperiment(dir.path(), "a.gs1", DirKind::NewColumns, {{100}});
  WriteExperiment(dir.path(), "b.gs1", DirKind::NewColumns, {{100}});
  NullSink none;
  ASSERT_TRUE(ResultFileSet::Open(dir.path(), false, none));
  fs::remove(dir / "out_VT.dat");
  Session session;
  Settings settings = BatchSettings(FileFormat::NewVarnel, true);
  CollectingSink warnings;
  const auto batch = TreatAllDirs(session, settings, dir.path(), warnings);
  ASSERT_FALSE(batch);
  EXPECT_THAT(batch.error().What(), HasSubstr("out_VT.dat"));
  EXPECT_EQ(dir.Read("out_nu.dat"), ResultHeader(0));
}

// The old header says 25 sweeps; the columns say how many there are, and
// sweeps that are not in the file are not analysed.
TEST(TreatAllDirs, OldFormatAnalysesTheColumnsThereAre) {
  TempDir dir;
  WriteExperiment(dir.path(), "cell3", DirKind::OldColumns, {{100, 150}, {100, 150, 200}});
  Session session;
  Settings settings = BatchSettings(FileFormat::OldVarnel, false);
  CollectingSink warnings;
  const auto batch = TreatAllDirs(session, settings, dir.path(), warnings);
  ASSERT_TRUE(batch);
  EXPECT_THAT(batch->dirs.DirList, ElementsAre("cell3"));
  ASSERT_EQ(batch->runs.size(), 1u);
  EXPECT_EQ(batch->runs[0].run.stopped, "");
  EXPECT_EQ(CountsIn(dir), std::vector<int>({2, 3}));
  EXPECT_DOUBLE_EQ(batch->runs[0].run.sweeps[1].Iclamp, 150);
}

TEST(TreatAllDirs, FormatOtherThanTheKindFoundIsWarned) {
  TempDir dir;
  WriteExperiment(dir.path(), "cell3", DirKind::OldColumns, {{100}});
  Session session;
  Settings settings = BatchSettings(FileFormat::NewVarnel, false);
  CollectingSink warnings;
  const auto batch = TreatAllDirs(session, settings, dir.path(), warnings);
  ASSERT_TRUE(batch);
  ASSERT_GE(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("old column format"));
}

}  // namespace
}  // namespace velmora
