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

// The time since the latest stimulus at or before t; 0 before the first and
// exactly at one; the running index follows a scan in increasing t.
TEST(AlignToStimulus, TimeSinceLatestStimulus) {
  const std::vector<double> T{100, 600, 1100};
  struct Step {
    double t;
    double aligned;
    int idx;
  };
  int idx = 0;
  for (const Step& s : {Step{0, 0, 0}, Step{99.5, 0, 0}, Step{100, 0, 1}, Step{350, 250, 1}, Step{600, 0, 2},
                        Step{601, 1, 2}, Step{1100, 0, 3}, Step{5000, 3900, 3}, Step{50, 0, 0}}) {
    EXPECT_DOUBLE_EQ(AlignToStimulus(s.t, idx, T), s.aligned) << "t " << s.t;
    EXPECT_EQ(idx, s.idx) << "t " << s.t;
  }
  // An index left from a longer list starts over; without stimuli all is 0.
  idx = 7;
  EXPECT_DOUBLE_EQ(AlignToStimulus(700, idx, T), 0);
  EXPECT_EQ(idx, 0);
  idx = 0;
  EXPECT_DOUBLE_EQ(AlignToStimulus(700, idx, {}), 0);
}

}  // namespace
}  // namespace velmora
