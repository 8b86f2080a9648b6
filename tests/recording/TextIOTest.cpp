#include "recording/TextIO.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
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
