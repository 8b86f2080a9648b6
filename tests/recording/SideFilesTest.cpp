#include "recording/SideFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TempDir;

// Other programs of the lab read this file: width 9, 3 decimals, CR LF, widening when needed.
TEST(StimFile, WritesFixedWidthLinesAndReadsThemBack) {
  TempDir dir;
  const std::vector<double> times{12.3456, 0, 123456.5};
  ASSERT_TRUE(WriteStimFile(dir / "c.stim", times));
  EXPECT_EQ(dir.Read("c.stim"), "   12.346\r\n    0.000\r\n123456.500\r\n");
  NullSink warnings;
  auto read = ReadStimFile(dir / "c.stim", warnings);
  ASSERT_TRUE(read);
  EXPECT_THAT(*read, ElementsAre(12.346, 0, 123456.5));
}

// An empty file means no stimulus, not one stimulus at time 0.
TEST(StimFile, EmptyFileHoldsNoStimulus) {
  TempDir dir;
  NullSink warnings;
  auto read = ReadStimFile(dir.Write("e.stim", ""), warnings);
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->empty());
}

TEST(StimFile, MoreThanTheTableHoldsIsCutWithAWarning) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < kMaxStimuli + 3; ++i) text += std::to_string(i) + "\n";
  CollectingSink warnings;
  auto read = ReadStimFile(dir.Write("m.stim", text), warnings);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->size(), static_cast<std::size_t>(kMaxStimuli));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("m.stim: holds more than 200 stimuli"));
}

TEST(StimFile, GarbageIsAnErrorNamingTheLine) {
  TempDir dir;
  NullSink warnings;
  auto read = ReadStimFile(dir.Write("g.stim", "1.0\r\nabc\r\n"), warnings);
  ASSERT_FALSE(read);
  EXPECT_THAT(read.error().What(), HasSubstr("g.stim: line 2: \"abc\" is not a time"));
}

}  // namespace
}  // namespace velmora
