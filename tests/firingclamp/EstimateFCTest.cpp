#include "firingclamp/EstimateFC.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "firingclamp/Meander.h"
#include "recording/TextIO.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using velmora::testing::TempDir;

Pulses MakePulses(int n) {
  Pulses p;
  SizePulseArrays(p, n + 1);
  p.nPulses = n;
  return p;
}

// z = b1*I + k2*G + b2 over I in [0, 100] pA, G in [0, 10] nS, with unit
// spread of z over the calibration.
TSurface Plane(double b1, double k2, double b2) {
  TSurface s;
  s.b1 = b1, s.k2 = k2, s.b2 = b2;
  s.Imax = 100, s.Gmax = 10;
  s.Imean = 50, s.Gmean = 5;
  s.z2Mean = 1;
  return s;
}

const TSurface kS1 = Plane(0.2, -3, -60);
const TSurface kS2 = Plane(0.05, 2, 10);
const TSurface kS3 = Plane(-0.1, 1, 5);

// A plane pair is exactly invertible, inside the rectangle and along its
// linear continuation outside; the solvers must find I and G from any start.
TEST(InverseSolve, RecoversIAndGOfExactPlanes) {
  const PrecisionSettings tight{1e-10, 0.01, 200};
  const double cases[][2] = {{40, 3}, {0, 0}, {100, 10}, {-30, 2}, {250, 25}, {60, -4}};
  for (const auto& [I0, G0] : cases) {
    const double z1 = SurfaceValue(kS1, I0, G0), z2 = SurfaceValue(kS2, I0, G0), z3 = SurfaceValue(kS3, I0, G0);
    double I = 10, G = 1;
    EXPECT_EQ(InverseSolve2(kS1, kS2, z1, z2, tight, I, G), InverseOutcome::Converged) << I0 << ", " << G0;
    EXPECT_NEAR(I, I0, 1e-7) << "InverseSolve2 " << I0 << ", " << G0;
    EXPECT_NEAR(G, G0, 1e-7) << "InverseSolve2 " << I0 << ", " << G0;
    // A z3 that contradicts z1, z2 must not enter while their gradients are far from parallel.
    I = 10, G = 1;
    EXPECT_EQ(InverseSolve3(kS1, kS2, kS3, z1, z2, z3 + 50, tight, I, G), InverseOutcome::Converged);
    EXPECT_NEAR(I, I0, 1e-7) << "InverseSolve3 " << I0 << ", " << G0;
    EXPECT_NEAR(G, G0, 1e-7) << "InverseSolve3 " << I0 << ", " << G0;
    // With z2 parallel to z1, z3 has to stand in or the system is singular.
    const TSurface parallel = Plane(0.4, -6, 0);
    I = 10, G = 1;
    EXPECT_EQ(InverseSolve3(kS1, parallel, kS3, z1, SurfaceValue(parallel, I0, G0), z3, tight, I, G),
              InverseOutcome::Converged);
    EXPECT_NEAR(I, I0, 1e-7) << "parallel " << I0 << ", " << G0;
    EXPECT_NEAR(G, G0, 1e-7) << "parallel " << I0 << ", " << G0;
  }
}

// A solve that gives up, or a surface that cannot be weighted, must give
// 0, 0 and say which, never a half-way point or a division by zero.
TEST(InverseSolve, FailureGivesZeroAndItsReason) {
  const double z1 = SurfaceValue(kS1, 80, 8), z2 = SurfaceValue(kS2, 80, 8);
  double I = 1, G = 1;
  EXPECT_EQ(InverseSolve2(kS1, kS2, z1, z2, {0.01, 0.01, 3}, I, G), InverseOutcome::NoConvergence);
  EXPECT_EQ(I, 0);
  EXPECT_EQ(G, 0);
  TSurface flat = kS3;
  flat.zMean = 2, flat.z2Mean = 4;  // variance 0
  I = 1, G = 1;
  EXPECT_EQ(InverseSolve3(kS1, kS2, flat, z1, z2, 0, {}, I, G), InverseOutcome::ZeroVariance);
  EXPECT_EQ(I, 0);
  EXPECT_EQ(G, 0);
}

// Only PulseV-VT (4) and PulseV (6) saturate, and only with a positive
// total conductance and scale; PulseV's correction needs Gc > 0.
TEST(SaturationCorrection, AppliesOnlyWhereDefined) {
  const std::array<double, 6> pars{0, 30, 0, 12, 0, 5};  // U4 = 30 pA, U6 = 12 pA, Gs = 5 nS
  const double share = 1 - std::exp(-10.0 / 5);
  struct Case {
    int n;
    double Gt, Gc, expected;
  } cases[] = {{4, 10, 4, share * -30 / 10}, {6, 10, 4, share * -12 / 4}, {5, 10, 4, 0}, {3, 10, 4, 0},
               {4, 0, 4, 0},                 {4, -2, 4, 0},              {6, 10, 0, 0}};
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(SaturationCorrection(c.n, c.Gt, c.Gc, pars), c.expected) << "n " << c.n << " Gt " << c.Gt
                                                                              << " Gc " << c.Gc;
  EXPECT_EQ(SaturationCorrection(4, 10, 4, {0, 30, 0, 12, 0, 0}), 0) << "Gs = 0";
}

// Each compensation mode removes the offsets; modes 3..6 also the
// electrode's share, and the "w/o Meander" modes 4, 5 leave Imeander out.
TEST(CorrectEstimates, ModesApplyTheirCompensation) {
  using M = CompensationMode;
  struct Case {
    M mode;
    double G1, Iexpected, Gexpected;
  } cases[] = {
      {M::CommandOnly, 100, 100, 20},
      {M::UseMeander, 100, 100, 20},
      {M::TauGAfterEstimation, 100, 84.32835820895522, 18.65671641791045},
      {M::TauGAfterEstimationNoMeander, 100, 89.55223880597015, 18.65671641791045},
      {M::CGAfterEstimation, 100, 122.14377406931965, 26.97047496790757},
      {M::CGAfterEstimationNoMeander, 100, 127.08600770218229, 26.97047496790757},
      // Without an electrode conductance every mode leaves the estimate as it is.
      {M::TauGAfterEstimation, 0, 100, 20},
      {M::CGAfterEstimation, 0, 100, 20},
  };
  for (const Case& c : cases) {
    Pulses p = MakePulses(1);
    p.Iest[1] = 105, p.Gest[1] = 21, p.Imeander[1] = 50;
    const CompensationSettings compensation{.G1 = c.G1, .C1C = 0.5, .mode = c.mode};
    const CorrectionSettings corrections{.Ioffset = 5, .Goffset = 1};
    EXPECT_TRUE(CorrectEstimates(p, 1, compensation, corrections, 10)) << static_cast<int>(c.mode) << " G1 " << c.G1;
    EXPECT_NEAR(p.Iest[1], c.Iexpected, 1e-9) << static_cast<int>(c.mode) << " G1 " << c.G1;
    EXPECT_NEAR(p.Gest[1], c.Gexpected, 1e-9) << static_cast<int>(c.mode) << " G1 " << c.G1;
  }
}

// Pulses whose voltages were compensated with another Mg than the estimation
// reads now (Mg edited after the meander pass) disagree with it: the
// estimation says so, naming the change; a field the pass does not read
// (VE) leaves them current.
TEST(CompensatedAsNow, AnMgEditAfterTheMeanderPassMarksThePulses) {
  const EstimationsWindowSettings atThePass;
  Pulses p = MakePulses(1);
  p.slot = 3, p.compensatedWith = MeanderInputs({}, atThePass);
  CollectingSink warnings;
  EXPECT_TRUE(CompensatedAsNow(p, {}, atThePass, warnings));
  EstimationsWindowSettings now = atThePass;
  now.corrections.VE = 10;
  EXPECT_TRUE(CompensatedAsNow(p, {}, now, warnings));
  EXPECT_EQ(warnings.size(), 0u);

  now.nmda.Mg = 1.5;  // mM
  EXPECT_FALSE(CompensatedAsNow(p, {}, now, warnings));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_THAT(warnings[0], HasSubstr("pulses of slot 3 were compensated with other settings"));
  EXPECT_THAT(warnings[0], HasSubstr("\"Mg\" 0 then, 1.5 now"));
  p.slot = 0;  // read back from the estimates file: nothing to compare
  EXPECT_TRUE(CompensatedAsNow(p, {}, now, warnings));
}

// A vanishing compensation denominator must zero the pulse, not write inf.
TEST(CorrectEstimates, VanishingDenominatorZeroesThePulse) {
  struct Case {
    CompensationMode mode;
    double G1, g, Gc;
  } cases[] = {{CompensationMode::TauGAfterEstimation, 1, -1, 10},     // 1 + x = 0
               {CompensationMode::CGAfterEstimation, 0.5, 1, -0.125}};  // M = 0 at c = 1, x = 2, y = -1/4
  for (const Case& c : cases) {
    Pulses p = MakePulses(1);
    p.Iest[1] = 100, p.Gest[1] = c.g;
    const CompensationSettings compensation{.G1 = c.G1, .C1C = 1, .mode = c.mode};
    EXPECT_FALSE(CorrectEstimates(p, 1, compensation, {}, c.Gc)) << static_cast<int>(c.mode);
    EXPECT_EQ(p.Iest[1], 0) << static_cast<int>(c.mode);
    EXPECT_EQ(p.Gest[1], 0) << static_cast<int>(c.mode);
  }
}

// Without a chloride load the reversal stays at VI; Tau2 = 0 relaxes the
// chloride in first order, c_n = u + (c0 - u)(1 - dtp/Tau1)^n.
TEST(ChlorideReversal, FollowsItsDynamics) {
  Pulses p = MakePulses(6);
  for (int j = 1; j <= 6; ++j) p.tPulse[j] = 100.0 * j;  // dtp = 100 ms
  const double VI = -60, c0 = 146 * std::exp(VI / 25.6);
  for (const double Tau2 : {0.0, 300.0}) {
    ChlorideState state;
    for (int j = 1; j <= 6; ++j)
      EXPECT_NEAR(ChlorideReversal(p, j, 8, VI, {true, 1000, Tau2, 0}, state), VI, 1e-12) << "Tau2 " << Tau2;
  }
  ChlorideState state;
  const double u = 0.12 * 8 + c0;
  for (int j = 1; j <= 6; ++j) {
    const double c = u + (c0 - u) * std::pow(1 - 100.0 / 1000, j);
    EXPECT_NEAR(ChlorideReversal(p, j, 8, VI, {true, 1000, 0, 0.12}, state), 25.6 * std::log(c / 146), 1e-9) << j;
  }
  // One pulse has no interval: the chloride stays at rest.
  Pulses one = MakePulses(1);
  EXPECT_NEAR(ChlorideReversal(one, 1, 8, VI, {true, 1000, 0, 0.12}, state), VI, 1e-12);
}

// GE and GI built from a known pair must come back, and Vss with them; a
// split that cannot be made gives 0 with one message.
TEST(SplitConductances, RecoversKnownPartsAndGuardsItsDenominators) {
  Pulses p = MakePulses(2);
  const double GE = 3, GI = 7, VE = 0, VI = -60, Vus = -70;
  for (int j = 1; j <= 2; ++j) {
    p.Iest[j] = GE * (VE - Vus) + GI * (VI - Vus);
    p.Gest[j] = GE + GI;
  }
  EstimationsWindowSettings settings;
  settings.VLss = -70;
  for (const bool NMDAon : {false, true}) {  // with Mg = 0 the block changes nothing
    settings.nmda.NMDAon = NMDAon;
    CollectingSink warnings;
    EXPECT_EQ(SplitConductances(p, settings, 10, Vus, warnings), 0);
    EXPECT_NEAR(p.GE[2], GE, 1e-12) << NMDAon;
    EXPECT_NEAR(p.GI[2], GI, 1e-12) << NMDAon;
    EXPECT_NEAR(p.Vss[2], (10 * -70 + GE * VE + GI * VI) / 20, 1e-12) << NMDAon;
    EXPECT_EQ(warnings.size(), 0u);
  }

  settings.nmda.NMDAon = false;
  struct Bad {
    double VE, Gc, Gest;
    const char* message;
  } bad[] = {{-60, 10, 10, "VE = -60 mV"},                        // VE = VI
             {0, 0, 0, "Gc + GE + GI is 0 for 2 of 2 pulses"}};  // nothing conducts
  for (const Bad& b : bad) {
    settings.corrections.VE = b.VE;
    p.Gest[1] = p.Gest[2] = b.Gest;
    CollectingSink warnings;
    EXPECT_EQ(SplitConductances(p, settings, b.Gc, Vus, warnings), 2) << b.message;
    EXPECT_EQ(p.Vss[1], 0) << b.message;
    ASSERT_EQ(warnings.size(), 1u) << b.message;
    EXPECT_THAT(warnings[0], HasSubstr(b.message));
  }
}

// The file is what other programs of the lab read: 8:3 columns, CR LF, and
// it must read back to the same values within the written decimals.
TEST(Estimates, WriteReadRoundTrip) {
  TempDir dir;
  Pulses p = MakePulses(3);
  for (int j = 1; j <= 3; ++j) {
    std::vector<double>* columns[] = {&p.I, &p.G, &p.Iest, &p.Gest, &p.tPulse, &p.z1,
                                      &p.z2, &p.GE, &p.GI, &p.Vsyn, &p.Vss};
    for (int k = 0; k < 11; ++k) (*columns[k])[j] = (k % 2 ? -1 : 1) * (12.34567 * j + k * 101.1);
  }
  p.Gest[2] = NAN;  // must never reach the file
  ASSERT_TRUE(WriteEstimates(p, nullptr, dir.path()));
  const std::string text = dir.Read(kEstimatesFileName);
  EXPECT_EQ(text.substr(0, 17), "  12.346 -113.446");
  EXPECT_THAT(text, Not(HasSubstr("nan")));
  EXPECT_EQ(text.size(), 3u * (11 * 8 + 10 + 2));

  Pulses back = MakePulses(7);
  ASSERT_TRUE(ReadEstimates(dir.path(), nullptr, back));
  ASSERT_EQ(back.nPulses, 3);
  for (int j = 1; j <= 3; ++j) {
    EXPECT_NEAR(back.I[j], p.I[j], 5e-4) << j;
    EXPECT_NEAR(back.tPulse[j], p.tPulse[j], 5e-4) << j;
    EXPECT_NEAR(back.Vss[j], p.Vss[j], 5e-4) << j;
  }
  EXPECT_EQ(back.Gest[2], 0);

  // Aligned to stimuli at 0 and 50 ms: the times become times since the latest.
  const std::vector<double> stim{0, 50};
  ASSERT_TRUE(ReadEstimates(dir.path(), &stim, back));
  EXPECT_NEAR(back.tPulse[3], 441.437 - 50, 1e-9);
}

// Every number in the file must be exactly what Fixed writes, ties at the
// third decimal included (they round away from zero).
TEST(Estimates, NumbersAreWrittenAsFixed) {
  const double values[] = {0.0625, -0.0625, 1.0005, 2.4375, -1234.5678, 0.1, 1e6 + 0.3125, 99999.9995, -0.0004, 3};
  TempDir dir;
  Pulses p = MakePulses(1);
  for (const double x : values) {
    p.Iest[1] = x;
    ASSERT_TRUE(WriteEstimates(p, nullptr, dir.path()));
    std::string expected;
    for (int k = 0; k < 11; ++k) {
      if (k > 0) expected += ' ';
      expected += Fixed(k == 2 ? x : 0.0, 8, 3);
    }
    EXPECT_EQ(dir.Read(kEstimatesFileName), expected + "\r\n") << x;
  }
}

// A damaged file must be refused with its name and line, the record kept.
TEST(Estimates, MalformedLinesAreRefusedByLine) {
  const std::string good = "1 2 3 4 5 6 7 8 9 10 11\r\n";
  struct Case {
    std::string content, where, what;
  } cases[] = {{good + "1 2 3 4 5 6 7\r\n", "line 2", "7 numbers"},
               {good + good + "1 2 x 4 5\n", "line 3, column 3", "\"x\" is not a number"},
               {"1 2 3 4 5 nan 7 8 9 10 11\n", "line 1, column 6", "not a number"}};
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write(kEstimatesFileName, c.content);
    Pulses p = MakePulses(4);
    p.Iest[1] = 42;
    const Status read = ReadEstimates(dir.path(), nullptr, p);
    ASSERT_FALSE(read) << c.what;
    EXPECT_THAT(read.error().What(), HasSubstr(std::string(kEstimatesFileName) + ": " + c.where)) << c.what;
    EXPECT_THAT(read.error().What(), HasSubstr(c.what));
    EXPECT_EQ(p.nPulses, 4) << c.what;
    EXPECT_EQ(p.Iest[1], 42) << c.what;
  }
  TempDir dir;
  dir.Write(kEstimatesFileName, "1 2 3 4 5\n\n" + good);  // an older line of five numbers, a blank line
  Pulses p = MakePulses(4);
  ASSERT_TRUE(ReadEstimates(dir.path(), nullptr, p));
  EXPECT_EQ(p.nPulses, 2);
  EXPECT_EQ(p.Vss[1], 0);
  EXPECT_EQ(p.Vss[2], 11);
}

// End to end on planes: the estimates follow I and G; pulse 1 of a
// regression stays 0; no fit means no estimation.
TEST(EstimateAll, EstimatesWritesAndRefusesWithoutFit) {
  ApproxState approx;
  approx.calib.points.resize(4);
  approx.fitted.kind = ApproxKind::Plane;
  approx.fitted.iz1 = 5, approx.fitted.iz2 = 4;  // subV, PulseV_VT
  approx.SurfZ1 = kS1, approx.SurfZ2 = kS2, approx.SurfZ3 = kS3;
  Pulses p = MakePulses(20);
  for (int j = 1; j <= 20; ++j) {
    p.I[j] = 5.0 * j, p.G[j] = 0.3 * j, p.tPulse[j] = 10.0 * j;
    p.subV[j] = SurfaceValue(kS1, p.I[j], p.G[j]);
    p.PulseV_VT[j] = SurfaceValue(kS2, p.I[j], p.G[j]);
  }
  TempDir dir;
  EstimationCharts charts = MakeEstimationCharts();
  CollectingSink warnings;
  const PrecisionSettings precision{1e-9, 0.01, 200};
  auto report = EstimateAll(p, approx, CompensationSettings{}, {10, -70, nullptr}, precision, {}, dir.path(), charts, warnings);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->notConverged, 0);
  for (int j = 1; j <= 20; ++j) {
    EXPECT_NEAR(p.Iest[j], p.I[j], 1e-6) << j;
    EXPECT_NEAR(p.Gest[j], p.G[j], 1e-6) << j;
  }
  EXPECT_THAT(dir.Read(kEstimatesFileName), HasSubstr("\r\n  50.000    3.000   50.000    3.000  100.000 "));

  // Too few iterations: every pulse 0, said once.
  auto starved = EstimateAll(p, approx, CompensationSettings{}, {}, {1e-9, 0.01, 2}, {}, dir.path(), charts, warnings);
  ASSERT_TRUE(starved);
  EXPECT_EQ(starved->notConverged, 20);
  EXPECT_EQ(p.Iest[7], 0);
  EXPECT_THAT(warnings.warnings, ::testing::Contains(HasSubstr("20 did not converge within 2 iterations")));

  approx.fitted.kind = ApproxKind::Regression3;
  approx.CoefI = {1, 2, 3}, approx.CoefG = {4, 5, 6};
  ASSERT_TRUE(EstimateAll(p, approx, CompensationSettings{}, {}, precision, {}, dir.path(), charts, warnings));
  EXPECT_EQ(p.Iest[1], 0) << "pulse 1 has no predecessor";
  EXPECT_DOUBLE_EQ(p.Iest[2], 1 + 2 * p.z1[2] + 3 * p.z2[2]);

  approx.calib.points.clear();
  p.Iest[3] = 77;
  CollectingSink refused;
  EXPECT_FALSE(EstimateAll(p, approx, CompensationSettings{}, {}, precision, {}, dir.path(), charts, refused));
  EXPECT_EQ(p.Iest[3], 77);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_THAT(refused[0], HasSubstr("calibrate and approximate first"));
}

}  // namespace
}  // namespace velmora
