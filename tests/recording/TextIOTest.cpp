#include "recording/TextIO.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using testing::FileSizeLimit;
using testing::TempDir;

std::vector<std::string> Lines(const std::filesystem::path& p) {
  auto reader = LineReader::Open(p);
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
  EXPECT_FALSE(std::filesystem::exists(dir / "f.txt.tmp-velmora"));
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

}  // namespace
}  // namespace velmora
