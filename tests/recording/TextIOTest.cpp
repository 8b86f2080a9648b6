#include "recording/TextIO.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::FileSizeLimit;
using testing::TempDir;

namespace fs = std::filesystem;

std::vector<std::string> Lines(const fs::path& p) {
  auto reader = LineReader::Open(p, ReadLimits{4 << 20, 0});
  std::vector<std::string> out;
  std::string_view line;
  while (reader->Next(line)) out.emplace_back(line);
  return out;
}

TEST(LineReader, SplitsLfAndCrLfWithOrWithoutAFinalLineEnd) {
  TempDir dir;
  EXPECT_THAT(Lines(dir.Write("a", "1\r\n2\n\r\n3")), ElementsAre("1", "2", "", "3"));
  EXPECT_THAT(Lines(dir.Write("b", "1\n")), ElementsAre("1"));
  EXPECT_THAT(Lines(dir.Write("c", "")), ElementsAre());
}

// Lines longer than the read block and lines that straddle two blocks come out whole.
TEST(LineReader, LinesAcrossBlockBoundaries) {
  TempDir dir;
  const std::string longLine(3 << 20, 'x');
  std::string text = longLine + "\r\n";
  for (int i = 0; i < 200000; ++i) text += std::to_string(i) + " 0.5\r\n";
  const auto lines = Lines(dir.Write("l", text));
  ASSERT_EQ(lines.size(), 200001u);
  EXPECT_EQ(lines[0], longLine);
  EXPECT_EQ(lines[123457], "123456 0.5");
}

TEST(ParseReal, AcceptsTheUsualNotationOnly) {
  EXPECT_EQ(ParseReal("+1.5"), 1.5);
  EXPECT_EQ(ParseReal("-.5"), -0.5);
  EXPECT_EQ(ParseReal("2e-3"), 0.002);
  EXPECT_EQ(ParseReal("7."), 7.0);
  for (const char* bad : {"0,05", "1.5x", "nan", "inf", "-inf", "", "-", "0x10", "e5"})
    EXPECT_FALSE(ParseReal(bad)) << bad;
  EXPECT_EQ(ParseInteger("+12"), 12);
  for (const char* bad : {"1.0", "3000000000", "12a", ""}) EXPECT_FALSE(ParseInteger(bad)) << bad;
}

TEST(Fixed, RightAlignsAndWidensLikeTheLabsOtherPrograms) {
  EXPECT_EQ(Fixed(3.14159, 9, 3), "    3.142");
  EXPECT_EQ(Fixed(-1234567.0, 6, 1), "-1234567.0");
  // Exact ties go away from zero; values just below a tie stay below.
  EXPECT_EQ(Fixed(0.125, 7, 2), "   0.13");
  EXPECT_EQ(Fixed(-0.125, 7, 2), "  -0.13");
  EXPECT_EQ(Fixed(1.25, 6, 1), "   1.3");
  EXPECT_EQ(Fixed(2.675, 6, 2), "  2.67");  // 2.67499999... in binary
  EXPECT_EQ(Fixed(0.5, 3, 0), "  1");
}

TEST(Fixed, NonFiniteValuesAreWrittenAsZero) {
  EXPECT_EQ(Fixed(std::numeric_limits<double>::quiet_NaN(), 7, 2), "   0.00");
  EXPECT_EQ(Fixed(HUGE_VAL, 6, 1), "   0.0");
  EXPECT_EQ(Fixed(-HUGE_VAL, 3, 0), "  0");
}

// A disk that fills up in the middle of a rewrite leaves the old file whole
// and no temporary file beside it.
TEST(WriteFileAtomically, FullDiskMidwayKeepsTheOldFile) {
  TempDir dir;
  dir.Write("f.txt", "old content\r\n");
  Status s = Ok();
  {
    FileSizeLimit full(100);
    s = WriteFileAtomically(dir / "f.txt", std::string(1000, 'x'));
  }
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), ::testing::HasSubstr("f.txt: cannot write"));
  EXPECT_EQ(dir.Read("f.txt"), "old content\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A record that does not fit any more is taken back whole: the file ends
// with the last complete record, never in the middle of one.
TEST(AppendWhole, FullDiskMidwayCutsBackToTheLastRecord) {
  TempDir dir;
  const std::string before = "header\r\n1 2 3\r\n";
  dir.Write("r.dat", before);
  Status s = Ok();
  {
    FileSizeLimit full(before.size() + 5);
    s = AppendWhole(dir / "r.dat", "4 5 6 7 8 9\r\n");
  }
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), ::testing::HasSubstr("r.dat: cannot write"));
  EXPECT_EQ(dir.Read("r.dat"), before);

  ASSERT_TRUE(AppendWhole(dir / "r.dat", "4\r\n"));
  EXPECT_EQ(dir.Read("r.dat"), before + "4\r\n");
  const Status missing = AppendWhole(dir / "none.dat", "x");
  ASSERT_FALSE(missing);
  EXPECT_THAT(missing.error().What(), ::testing::HasSubstr("none.dat: cannot be appended to"));
  EXPECT_FALSE(std::filesystem::exists(dir / "none.dat"));
  ASSERT_TRUE(AppendWhole(dir / "new.dat", "x", false));
  EXPECT_EQ(dir.Read("new.dat"), "x");
}

TEST(WriteFileAtomically, ReplacesWholeOrLeavesTheOldFile) {
  TempDir dir;
  dir.Write("f.txt", "old");
  ASSERT_TRUE(WriteFileAtomically(dir / "f.txt", "new"));
  EXPECT_EQ(dir.Read("f.txt"), "new");
  const Status s = WriteFileAtomically(dir / "missing-dir" / "f.txt", "x");
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), ::testing::HasSubstr("f.txt: cannot write"));
}

// A pipe would block the read for ever, /dev/zero never ends, a directory
// is no text: each is refused at once, naming the path and what it is.
TEST(OpenRegularFile, SpecialFilesAreRefusedAtOnceNamingWhatTheyAre) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir / "zero");
  fs::create_directory(dir / "sub");
  const std::pair<const char*, const char*> cases[] = {
      {"pipe", "is a pipe, not a regular file"},
      {"zero", "is a character device, not a regular file"},
      {"sub", "is a directory, not a regular file"}};
  for (const auto& [name, message] : cases) {
    const auto opened = OpenRegularFile(dir / name);
    ASSERT_FALSE(opened) << name;
    EXPECT_THAT(opened.error().What(), HasSubstr(std::string(name) + ": " + message));
    const auto reader = LineReader::Open(dir / name, ReadLimits{4096, 0});
    EXPECT_FALSE(reader) << name;
  }
  fs::create_symlink(dir / "sub" / "none", dir / "dangling");
  EXPECT_THAT(OpenRegularFile(dir / "dangling").error().What(), HasSubstr("cannot open"));
}

// One line without a line end, or a file beyond what its format holds, must
// not take all memory: the read stops at the limit and says which one.
TEST(LineReader, LineOrFileBeyondItsLimitEndsTheReadSayingSo) {
  TempDir dir;
  const auto path = dir.Write("long", "1 2\r\n" + std::string(10000, '7') + "\r\n3\r\n");
  auto reader = LineReader::Open(path, ReadLimits{4096, 0});
  ASSERT_TRUE(reader);
  std::string_view line;
  ASSERT_TRUE(reader->Next(line));
  EXPECT_EQ(line, "1 2");
  EXPECT_FALSE(reader->Next(line));
  EXPECT_FALSE(reader->Next(line));
  const Status s = reader->status();
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("long: line 2: longer than 4096 bytes"));

  // A line of exactly the limit, CR LF or not, is whole.
  EXPECT_THAT(ReadLines(dir.Write("edge", std::string(16, 'x') + "\r\n" + std::string(16, 'y')), ReadLimits{16, 0})
                  .value(),
              ElementsAre(std::string(16, 'x'), std::string(16, 'y')));
  EXPECT_THAT(ReadLines(dir.Write("over", std::string(17, 'x')), ReadLimits{16, 0}).error().What(),
              HasSubstr("line 1: longer than 16 bytes"));

  const auto big = ReadLines(dir.Write("big", std::string(2000, '\n')), ReadLimits{16, 1000});
  ASSERT_FALSE(big);
  EXPECT_THAT(big.error().What(), HasSubstr("big: is 2000 bytes, more than such a file holds (1000 at most)"));
}

// A link planted under a temporary file's name, or a result that is itself
// a link, must not make a rewrite overwrite a file outside the directory.
TEST(WriteFileAtomically, NeverWritesThroughALink) {
  TempDir dir, elsewhere;
  const auto target = elsewhere.Write("precious.txt", "keep me");
  fs::create_symlink(target, dir / "Equations.txt.tmp-velmora");
  ASSERT_TRUE(WriteFileAtomically(dir / "Equations.txt", "fit\r\n"));
  EXPECT_EQ(dir.Read("Equations.txt"), "fit\r\n");
  EXPECT_EQ(elsewhere.Read("precious.txt"), "keep me");

  fs::create_symlink(target, dir / "linked.txt");
  const Status s = WriteFileAtomically(dir / "linked.txt", "x");
  ASSERT_FALSE(s);
  EXPECT_THAT(s.error().What(), HasSubstr("linked.txt: is a symbolic link; not replaced"));
  EXPECT_EQ(elsewhere.Read("precious.txt"), "keep me");
  EXPECT_TRUE(fs::is_symlink(dir / "linked.txt"));

  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_THAT(WriteFileAtomically(dir / "pipe", "x").error().What(), HasSubstr("pipe: is a pipe"));
}

TEST(AppendWhole, NeverAppendsThroughALinkOrToAPipe) {
  TempDir dir, elsewhere;
  const auto target = elsewhere.Write("precious.txt", "keep me");
  fs::create_symlink(target, dir / "out_Rate.dat");
  for (const bool mustExist : {true, false}) {
    const Status s = AppendWhole(dir / "out_Rate.dat", "1 2 3\r\n", mustExist);
    ASSERT_FALSE(s);
    EXPECT_THAT(s.error().What(), HasSubstr("out_Rate.dat: is a symbolic link; not written"));
  }
  EXPECT_EQ(elsewhere.Read("precious.txt"), "keep me");
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_THAT(AppendWhole(dir / "pipe", "x").error().What(), HasSubstr("pipe: is a pipe, not a regular file"));
}

// While an action holds its data directory, a name taken from a file
// ("../x_trace1_Err.FC") cannot lead a write out of it.
TEST(DataDirLock, WritesLeavingTheHeldDirectoryAreRefused) {
  TempDir root;
  fs::create_directory(root / "data");
  NullSink none;
  {
    auto lock = DataDirLock::Acquire(root / "data", none);
    ASSERT_TRUE(lock);
    auto again = DataDirLock::Acquire(root / "data" / ".", none);  // the same directory: counted, no deadlock
    ASSERT_TRUE(again);
    EXPECT_TRUE(WriteFileAtomically(root / "data" / "x.stim", "1\r\n"));
    for (const fs::path& outside : {root / "data" / ".." / "x.stim", root / "x.stim", fs::path("/tmp/x.stim")}) {
      const Status s = WriteFileAtomically(outside, "1\r\n");
      ASSERT_FALSE(s) << outside;
      EXPECT_THAT(s.error().What(), HasSubstr("lies outside the data directory")) << outside;
      EXPECT_FALSE(AppendWhole(outside, "1\r\n", false)) << outside;
    }
    EXPECT_FALSE(fs::exists(root / "x.stim"));
  }
  EXPECT_TRUE(WriteFileAtomically(root / "x.stim", "1\r\n"));  // released: no directory to stay in
}

// Two actions on one directory run one after the other: the second waits
// for the first process to let go, and says that it waits.
TEST(DataDirLock, SecondProcessWaitsForTheFirst) {
  TempDir dir;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    NullSink none;
    auto lock = DataDirLock::Acquire(dir.path(), none);
    (void)!write(ready[1], "x", 1);
    usleep(400'000);
    _exit(lock ? 0 : 1);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  const auto start = std::chrono::steady_clock::now();
  CollectingSink sink;
  auto lock = DataDirLock::Acquire(dir.path(), sink);
  const auto waited = std::chrono::steady_clock::now() - start;
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(lock);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_GE(waited, std::chrono::milliseconds(200));
  ASSERT_EQ(sink.statuses.size(), 1u);
  EXPECT_THAT(sink.statuses[0], HasSubstr("another action writes here; waiting"));
  close(ready[0]), close(ready[1]);
}

}  // namespace
}  // namespace velmora
