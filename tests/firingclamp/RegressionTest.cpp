#include "firingclamp/Regression.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace velmora {
namespace {

using ::testing::HasSubstr;

// Point k's z values (subV, PulseV-VT, VT: z numbers 5, 4, 3) vary without
// a pattern; I depends on them and on the previous point's, gNMDA on z3.
CalibrationSet WithMemory(int n) {
  CalibrationSet set;
  double z1p = 0, z2p = 0, z3p = 0;
  for (int k = 1; k <= n; ++k) {
    const double z1 = -60 + (k * 7 % 11), z2 = 8 + (k * 5 % 7), z3 = -50 + (k * 3 % 13);
    CalibPoint p{};
    p[CalibColumn::subV] = z1;
    p[CalibColumn::PulseV_VT] = z2;
    p[CalibColumn::VT] = z3;
    p[CalibColumn::I] = 1 + 2 * z1 - z2 + 0.5 * z3 + 0.3 * z1p - 0.2 * z2p + 0.1 * z3p;
    p[CalibColumn::G] = 4 - 0.05 * z1;
    p[CalibColumn::gNMDA] = 0.2 + 0.01 * z3;
    set.points.push_back(p);
    z1p = z1, z2p = z2, z3p = z3;
  }
  return set;
}

// Kind 5 regresses on the previous point too; a fit that paired z values
// of the wrong points would not reproduce I exactly.
TEST(FitRegression, Kind5UsesThePreviousPointsZValues) {
  const CalibrationSet set = WithMemory(30);
  const auto coef = FitRegression(set, ApproxKind::Regression7, 5, 4, 3, CalibColumn::I);
  ASSERT_TRUE(coef) << coef.error().What();
  const double expected[7] = {1, 2, -1, 0.5, 0.3, -0.2, 0.1};
  for (int i = 0; i < 7; ++i) EXPECT_NEAR((*coef)[i], expected[i], 1e-9) << "b" << i;
  EXPECT_EQ((*coef)[7], 0);
  for (int k = 2; k <= set.nCalib(); ++k)
    EXPECT_NEAR(EvalRegression(*coef, FillRegressors(set, ApproxKind::Regression7, k, 5, 4, 3)),
                set.At(k, CalibColumn::I), 1e-9)
        << "point " << k;

  // Kind 4 on a target that depends on z1 and z2 only.
  const auto g = FitRegression(set, ApproxKind::Regression3, 5, 4, 3, CalibColumn::G);
  ASSERT_TRUE(g);
  EXPECT_NEAR((*g)[0], 4, 1e-10);
  EXPECT_NEAR((*g)[1], -0.05, 1e-12);
  EXPECT_NEAR((*g)[2], 0, 1e-12);
  EXPECT_EQ((*g)[3], 0);
}

// Pulse n pairs with pulse n - 1; pulse 1 has no predecessor, so it gets
// no regression (its estimate stays 0), as does a pulse beyond the arrays.
TEST(RegressorsFromPulses, PairsPulseWithItsPredecessor) {
  const std::vector<double> z1 = {0, -60, -58, -57}, z2 = {0, 10, 11, 12}, z3 = {0, -50, -49, -48};
  const Regressors r = RegressorsFromPulses(ApproxKind::Regression7, z1, z2, z3, 3);
  ASSERT_EQ(r.m, 7);
  EXPECT_THAT(r.phi, ::testing::ElementsAre(0, 1, -57, 12, -48, -58, 11, -49));
  RegressionCoefs coef{};
  coef[1] = 1;
  coef[4] = 2;
  EXPECT_EQ(EvalRegression(coef, r), -57 + 2 * -58);

  const Regressors four = RegressorsFromPulses(ApproxKind::Regression3, z1, z2, {}, 2);
  ASSERT_EQ(four.m, 3);
  EXPECT_THAT(four.phi, ::testing::ElementsAre(0, 1, -58, 11, 0, 0, 0, 0));

  struct Case { ApproxKind kind; int n; };
  for (const Case c : {Case{ApproxKind::Regression7, 1}, Case{ApproxKind::Regression7, 4},
                       Case{ApproxKind::Regression7, 0}, Case{ApproxKind::Quadratic, 3}}) {
    const Regressors none = RegressorsFromPulses(c.kind, z1, z2, z3, c.n);
    EXPECT_EQ(none.m, 0) << "pulse " << c.n;
    EXPECT_EQ(EvalRegression(coef, none), 0) << "pulse " << c.n;
  }
}

// Normal equations of a basis whose third function is 0.1 times the
// second: rounding leaves a pivot far above 1e-20, so Gaussian elimination
// alone returns coefficients made of rounding noise. They must be refused.
TEST(SolveNormalEquations, CollinearBasisIsSingularDespiteRounding) {
  TMatrix A{};
  TVector b{};
  const int N = 9;
  for (int k = 1; k <= N; ++k) {
    const double f[4] = {0, 1, -60.0 + k * 1.7, 0.1 * (-60.0 + k * 1.7)};
    for (int r = 1; r <= 3; ++r) {
      for (int c = 1; c <= 3; ++c) A[r][c] += f[r] * f[c] / N;
      b[r] += f[r] * (2 + 0.3 * k) / N;
    }
  }
  TVector x{}, untouched{};
  untouched[1] = 7;
  x = untouched;
  ASSERT_TRUE(MathMy::GaussSolve(3, A, b, x));  // the fault guarded against
  x = untouched;
  EXPECT_FALSE(SolveNormalEquations(3, A, b, x));
  EXPECT_EQ(x, untouched);

  // Without the collinear function the same data solve as GaussSolve does.
  TVector y{};
  ASSERT_TRUE(SolveNormalEquations(2, A, b, x));
  ASSERT_TRUE(MathMy::GaussSolve(2, A, b, y));
  EXPECT_EQ(x, y);
}

}  // namespace
}  // namespace velmora
