#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "recording/Filter.h"

namespace velmora {
namespace {

SweepSlot Sweep(std::vector<double> V) {
  SweepSlot slot;
  slot.nLast = static_cast<int>(V.size()) - 1;
  slot.Ireal = slot.Icom = V;
  slot.V = std::move(V);
  return slot;
}

const std::vector<double> kVoltage = {-65.2, -64.9, -40.3, 12.7, -30.1, -66.0, -65.5};
constexpr double kDt = 1e-4;  // s

// A step smoothed with a = 0.5 must come out symmetric about the step (zero phase), and
// the currents must stay as recorded.
TEST(FilterVoltage, StepComesOutSymmetric) {
  std::vector<double> V(1000, 0.0);
  for (int i = 500; i < 1000; ++i) V[i] = 1;
  SweepSlot slot = Sweep(V);
  CollectingSink warnings;
  FilterVoltage(slot, kDt, {.tauF = 0.2, .iterations = 1}, warnings);  // a = 0.5
  EXPECT_EQ(warnings.size(), 0u);
  EXPECT_NEAR(slot.V[498], 1.0 / 6, 1e-12);
  EXPECT_NEAR(slot.V[499], 1.0 / 3, 1e-12);
  EXPECT_NEAR(slot.V[500], 2.0 / 3, 1e-12);
  EXPECT_NEAR(slot.V[501], 5.0 / 6, 1e-12);
  for (int k = 0; k < 40; ++k) EXPECT_NEAR(slot.V[499 - k] + slot.V[500 + k], 1, 1e-12) << k;
  EXPECT_EQ(slot.Ireal, V);
  EXPECT_EQ(slot.Icom, V);
}

// The last sample sees only the forward pass: a step at sample 2 of 0..3 leaves it at
// 0.75 (forward 0.5, then 0.75), and the backward pass mirrors the rest.
TEST(FilterVoltage, LastSampleKeepsForwardValue) {
  SweepSlot slot = Sweep({0, 0, 1, 1});
  CollectingSink warnings;
  FilterVoltage(slot, kDt, {.tauF = 0.2, .iterations = 1}, warnings);
  EXPECT_EQ(slot.V, (std::vector<double>{0.15625, 0.3125, 0.625, 0.75}));
}

// Settings that must leave the samples as they are, silently: a = 1 (τ = dt is accepted),
// no iterations, and a constant sweep.
TEST(FilterVoltage, NoOpSettingsLeaveSamples) {
  struct Case { const char* name; std::vector<double> V; FilterSettings s; };
  const Case cases[] = {
      {"a = 1", kVoltage, {.tauF = 0.1, .iterations = 3}},
      {"iterations 0", kVoltage, {.tauF = 0.5, .iterations = 0}},
      {"iterations -1", kVoltage, {.tauF = 0.5, .iterations = -1}},
      {"constant", std::vector<double>(50, -65.3), {.tauF = 0.5, .iterations = 2}},
  };
  for (const Case& c : cases) {
    SweepSlot slot = Sweep(c.V);
    CollectingSink warnings;
    FilterVoltage(slot, kDt, c.s, warnings);
    for (std::size_t i = 0; i < c.V.size(); ++i) EXPECT_DOUBLE_EQ(slot.V[i], c.V[i]) << c.name;
    EXPECT_EQ(warnings.size(), 0u) << c.name;
  }
}

// A filter that cannot run must say why and leave every sample unfiltered.
TEST(FilterVoltage, BadInputWarnsAndLeavesSamples) {
  const std::string badFile = "Bad file! Turn off filtering and delete the file.";
  const std::string badTau = "Bad filtering tauF or dt.";
  const double inf = std::numeric_limits<double>::infinity();
  struct Case { const char* name; int nLast; double dt, tauF; const std::string& message; };
  const Case cases[] = {
      {"single sample", 0, kDt, 0.1, badFile},
      {"empty slot", -1, kDt, 0.1, badFile},
      {"nLast past the samples", 7, kDt, 0.1, badFile},
      {"tau < dt", 6, kDt, 0.09, badTau},
      {"dt = 0", 6, 0, 0.1, badTau},
      {"dt < 0", 6, -kDt, 0.1, badTau},
      {"dt infinite", 6, inf, inf, badTau},
      {"tauF NaN", 6, kDt, std::nan(""), badTau},
  };
  for (const Case& c : cases) {
    SweepSlot slot = Sweep(kVoltage);
    slot.nLast = c.nLast;
    CollectingSink warnings;
    FilterVoltage(slot, c.dt, {.tauF = c.tauF}, warnings);
    EXPECT_EQ(slot.V, kVoltage) << c.name;
    ASSERT_EQ(warnings.size(), 1u) << c.name;
    EXPECT_EQ(warnings[0], c.message) << c.name;
  }
}

// A read-and-draw filters a loaded voltage only if it has not gone through
// this very filter: filtering it twice would smooth it further, and a voltage
// filtered otherwise must be read again.
TEST(FilterVoltage, NotesWhatTheVoltageWentThrough) {
  const FilterSettings a{.tauF = 0.2, .iterations = 2}, b{.tauF = 0.3, .iterations = 2};
  SweepSlot slot = Sweep(kVoltage);
  NullSink warnings;
  EXPECT_FALSE(FilteredAs(slot, a)) << "as read";
  FilterVoltage(slot, kDt, a, warnings);
  EXPECT_TRUE(FilteredAs(slot, a));
  EXPECT_FALSE(FilteredAs(slot, b));
  FilterVoltage(slot, kDt, {.tauF = 0.2, .iterations = 1}, warnings);
  EXPECT_TRUE(FilteredAs(slot, {.tauF = 0.2, .iterations = 3})) << "passes of one time constant add up";
  FilterVoltage(slot, kDt, b, warnings);
  EXPECT_FALSE(FilteredAs(slot, b)) << "after two time constants";
  EXPECT_FALSE(FilteredAs(slot, {.tauF = 0.3, .iterations = 5})) << "after two time constants";

  SweepSlot single = Sweep({-65});
  FilterVoltage(single, kDt, a, warnings);
  EXPECT_FALSE(FilteredAs(single, a)) << "a filter that could not run";
}

// Filtering sweeps side by side must not change a bit of any: the F-I
// result files are compared byte for byte with earlier runs. Sweeps of
// unequal lengths and steps, in groups of every size up to eight.
TEST(FilterVoltages, EqualToTheBitToFilteringOneByOne) {
  const FilterSettings s{.tauF = 0.3, .iterations = 3};
  for (int n : {1, 3, 6, 15, 17}) {
    std::vector<SweepSlot> together, alone;
    std::vector<double> dt;
    for (int k = 0; k < n; ++k) {
      std::vector<double> V(200 + 37 * ((k * 7) % 15));
      for (std::size_t i = 0; i < V.size(); ++i)
        V[i] = -65 + 20 * std::sin(0.05 * i * (k + 1)) + (i % 7 == 0 ? 30 : 0);
      together.push_back(Sweep(V));
      dt.push_back(kDt * (1 + 0.5 * (k % 3)));
    }
    const int refused = n > 1 ? n / 2 : -1;
    if (refused >= 0) together[refused].nLast = 0;  // left for FilterVoltage to report
    alone = together;
    std::vector<std::pair<SweepSlot*, double>> sweeps;
    for (int k = 0; k < n; ++k) sweeps.emplace_back(&together[k], dt[k]);
    FilterVoltages(sweeps, s);
    CollectingSink warnings;
    for (int k = 0; k < n; ++k) {
      if (k != refused) FilterVoltage(alone[k], dt[k], s, warnings);
      EXPECT_EQ(together[k].V, alone[k].V) << n << " sweeps, sweep " << k;
      EXPECT_EQ(FilteredAs(together[k], s), k != refused) << n << " sweeps, sweep " << k;
    }
    EXPECT_EQ(warnings.size(), 0u);
  }
}

}  // namespace
}  // namespace velmora
