#include "session/SettingFields.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

namespace velmora {
namespace {

using ::testing::HasSubstr;

const SettingField& Field(std::string_view name) {
  const SettingField* f = FindSettingField(name);
  if (!f) throw std::runtime_error("no setting field " + std::string(name));
  return *f;
}

// --set matches names without regard to case: two names alike would set a
// field other than the one the listing shows.
TEST(SettingFields, NamesAreUniqueWithoutRegardToCase) {
  std::set<std::string> seen;
  for (const SettingField& f : SettingFields()) {
    std::string lower(f.name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(seen.insert(lower).second) << f.name;
  }
}

// An accessor copied from its neighbour would bind two widgets to one value.
TEST(SettingFields, EveryAccessorReachesItsOwnFieldOfSettings) {
  Settings s;
  const auto* begin = reinterpret_cast<const char*>(&s);
  std::set<const void*> seen;
  for (const SettingField& f : SettingFields()) {
    const void* p = std::visit([](auto* q) -> const void* { return q; }, f.at(s));
    EXPECT_GE(static_cast<const char*>(p), begin) << f.name;
    EXPECT_LT(static_cast<const char*>(p), begin + sizeof s) << f.name;
    EXPECT_TRUE(seen.insert(p).second) << f.name;
  }
}

// A default outside its limits could never be typed back after a change, and
// a count with decimals would give the window values the table refuses.
TEST(SettingFields, DefaultsLieWithinConsistentLimits) {
  Settings defaults;
  Settings startup = StartupSettings();
  Settings item0 = StartupSettings();
  ApplyParameterSet(item0, 0);
  for (const SettingField& f : SettingFields()) {
    EXPECT_LE(f.min, f.max) << f.name;
    if (f.kind != SettingKind::Number) {
      EXPECT_EQ(f.decimals, 0) << f.name;
    }
    if (f.kind == SettingKind::Item) {
      EXPECT_EQ(f.max - f.min + 1, static_cast<double>(f.items.size())) << f.name;
    }
    for (const Settings* s : {&defaults, &startup, &item0}) {
      const double v = ShownValue(f, *s);
      EXPECT_TRUE(v >= f.min && v <= f.max) << f.name << " = " << v;
      Settings copy = *s;
      EXPECT_TRUE(SetShownValue(f, copy, v)) << f.name;
    }
  }
}

// Seconds are stored and ms shown: a missing or doubled scale is a factor
// of 1000 in every spike window.
TEST(SettingFields, ScaledValuesRoundTrip) {
  Settings s = StartupSettings();
  EXPECT_EQ(ShownValue(Field("TimeWindow"), s), 50);
  ASSERT_TRUE(SetShownValue(Field("TimeWindow"), s, 20));
  EXPECT_DOUBLE_EQ(s.spikes.SpikeCriteria.TimeWindow, 0.02);
  for (const SettingField& f : SettingFields()) {
    if (f.scale == 1) continue;
    Settings copy = s;
    const double shown = f.min + 0.375 * (std::min(f.max, 1000.0) - f.min);
    ASSERT_TRUE(SetShownValue(f, copy, shown)) << f.name;
    EXPECT_DOUBLE_EQ(ShownValue(f, copy), shown) << f.name;
  }
}

// A value the analysis cannot use must stop the command with the setting's
// name and range, and leave the setting as it was.
TEST(ApplySetting, RefusesValuesOutsideTheLimitsWithNameAndRange) {
  Settings s = StartupSettings();
  const struct {
    const char* assignment;
    const char* says;
  } cases[] = {
      {"Iterations=5000", "Iterations takes whole numbers 0..100, not 5000"},
      {"iterations=-1", "Iterations takes whole numbers 0..100"},
      {"Iterations=2.5", "whole numbers"},
      {"TimeWindow=-1", "TimeWindow must lie within 0..1000000 ms"},
      {"Skip=0", "Skip takes whole numbers 1..1000000000"},
      {"Filter=2", "Filter takes 1 (ticked) or 0"},
      {"Lost_parameters=6", "Lost_parameters takes an item 0..5"},
      {"V_min=1e10", "V_min must lie within"},
      {"V_min=abc", "\"abc\" is not a number"},
      {"V_min", "expected NAME=VALUE"},
      {"Bogus=1", "no setting \"Bogus\""},
      {"G1=5", "no setting \"G1\" for this command"},  // a firing-clamp field
  };
  for (const auto& c : cases) {
    const Status st = ApplySetting(s, c.assignment, kFITag);
    ASSERT_FALSE(st) << c.assignment;
    EXPECT_THAT(st.error().What(), HasSubstr(c.says)) << c.assignment;
    EXPECT_THAT(st.error().What(), HasSubstr(c.assignment));
  }
  const Settings untouched = StartupSettings();
  EXPECT_EQ(s.filter.iterations, untouched.filter.iterations);
  EXPECT_EQ(s.spikes.SpikeCriteria.TimeWindow, untouched.spikes.SpikeCriteria.TimeWindow);
  EXPECT_EQ(s.Skip, untouched.Skip);
  EXPECT_TRUE(ApplySetting(s, "G1=5", kFCTag));
  EXPECT_EQ(s.compensation.G1, 5);
  EXPECT_TRUE(ApplySetting(s, "compensation_mode=2", kFCTag));
  EXPECT_EQ(s.compensation.mode, CompensationMode::UseMeander);
  EXPECT_TRUE(ApplySetting(s, "lattice2=3", kFCTag));
  EXPECT_EQ(s.latticeSurface2, 3);
}

// The two "Calculate nu_Last on last ..." boxes exclude each other; unticking
// one must not tick the other.
TEST(SettingFields, TickingABoxUnticksItsPartner) {
  Settings s = StartupSettings();
  ASSERT_TRUE(s.fi.nuLastLastTwoThirds);
  ASSERT_TRUE(ApplySetting(s, "nu_Last_on_last_1/3=1", kFITag));
  EXPECT_TRUE(s.fi.nuLastLastThird);
  EXPECT_FALSE(s.fi.nuLastLastTwoThirds);
  ASSERT_TRUE(SetShownValue(Field("nu_Last_on_last_2/3"), s, 1));
  EXPECT_FALSE(s.fi.nuLastLastThird);
  EXPECT_TRUE(s.fi.nuLastLastTwoThirds);
  ASSERT_TRUE(SetShownValue(Field("nu_Last_on_last_2/3"), s, 0));
  EXPECT_FALSE(s.fi.nuLastLastThird);
  EXPECT_FALSE(s.fi.nuLastLastTwoThirds);
}

// The help of each command lists its own fields with the values given.
TEST(SettingsList, ListsTheFieldsOfOneCommandWithTheirValues) {
  Settings s = StartupSettings();
  ASSERT_TRUE(ApplySetting(s, "Iterations=7", kFITag));
  const std::string fi = SettingsList(kFITag, s);
  EXPECT_THAT(fi, ::testing::ContainsRegex("\n  Iterations +7 "));
  EXPECT_THAT(fi, HasSubstr("Filtering: \"Iterations\", 0..100"));
  EXPECT_THAT(fi, HasSubstr("Ireal is absent, Icom=Ireal"));
  EXPECT_THAT(fi, ::testing::Not(HasSubstr("G1")));
  EXPECT_THAT(SettingsList(kFCTag, s), HasSubstr("Offline electrode compensation: \"G1,nS\""));
}

}  // namespace
}  // namespace velmora
