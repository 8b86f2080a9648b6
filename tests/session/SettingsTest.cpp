#include "session/Settings.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

// Clicking "Default" after start-up resets the spike criteria but not what only the other set names.
TEST(ApplyParameterSet, DefaultAfterStartupKeepsFieldsItDoesNotName) {
  Settings s = StartupSettings();
  EXPECT_EQ(s.spikes.SpikeCriteria.V_min, -15);
  EXPECT_EQ(s.spikes.ThresholdScale, 3);
  EXPECT_EQ(s.filter.iterations, 10);
  ApplyParameterSet(s, 0);
  EXPECT_EQ(s.spikes.SpikeCriteria.V_min, -35);
  EXPECT_EQ(s.spikes.SpikeCriteria.dVdt_min, 15);
  EXPECT_EQ(s.spikes.ThresholdScale, 1);
  EXPECT_FALSE(s.NegPulseD);
  EXPECT_EQ(s.filter.tauF, 0.1);
  EXPECT_EQ(s.filter.iterations, 10);
  EXPECT_TRUE(s.fi.nuLastLastTwoThirds);
  EXPECT_EQ(s.fi.CutFactor, 4);
}

// The design defaults stand until a set is applied.
TEST(ApplyParameterSet, DesignDefaultsBeforeAnySet) {
  const Settings s;
  EXPECT_EQ(s.spikes.ThresholdScale, 2);
  EXPECT_EQ(s.filter.iterations, 2);
  EXPECT_EQ(s.fi.CutFactor, 5);
  EXPECT_EQ(s.Skip, 30);
  EXPECT_EQ(s.format, FileFormat::Main);
}

}  // namespace
}  // namespace velmora
