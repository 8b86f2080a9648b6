#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "numeric/MathMy.h"

namespace velmora {
namespace {

using namespace MathMy;

// Builds the leading n x n block of a TMatrix from rows written out in full.
TMatrix Matrix(std::initializer_list<std::initializer_list<double>> rows) {
  TMatrix A{};
  int i = 1;
  for (const auto& row : rows) {
    int j = 1;
    for (double value : row) A[i][j++] = value;
    ++i;
  }
  return A;
}

TVector Vector(std::initializer_list<double> entries) {
  TVector b{};
  int i = 1;
  for (double value : entries) b[i++] = value;
  return b;
}

// A limiter that returns the farther argument, or a non-zero value across a
// sign change, makes slope-limited schemes oscillate.
TEST(MinMod, TakesTheArgumentNearerZeroOrZeroAcrossSigns) {
  struct Case { double a, b, expected; };
  for (const Case c : {Case{2, 3, 2}, Case{3, 2, 2}, Case{-2, -3, -2}, Case{-3, -2, -2},
                       Case{2, -3, 0}, Case{-2, 3, 0}, Case{0, 5, 0}, Case{5, 0, 0}}) {
    EXPECT_EQ(MinMod(c.a, c.b), c.expected) << "MinMod(" << c.a << ", " << c.b << ")";
  }
}

// The cut-offs are at |x| = 20 exactly: -20 itself is still exp(-20).
TEST(ExpLimited, CutsOffJustBeyondTwenty) {
  struct Case { double x, expected; };
  for (const Case c : {Case{-20, std::exp(-20.0)}, Case{-20.0001, 0.0}, Case{-1e300, 0.0},
                       Case{20, std::exp(20.0)}, Case{25, std::exp(20.0)}, Case{1e300, std::exp(20.0)},
                       Case{0.5, std::exp(0.5)}}) {
    EXPECT_EQ(ExpLimited(c.x), c.expected) << "x = " << c.x;
  }
}

// The singular mark must come out when the rows are proportional, and the
// row correction for a zero a11 must keep the solution.
TEST(Solve2x2, SolvesOrMarksNoSolution) {
  struct Case { const char* name; TMatrix2 A; TVector2 b; double x1, x2; };
  const Case cases[] = {
      {"a11 = 0, rows added first", {{{}, {0, 0, 1}, {0, 1, 1}}}, {0, 1, 3}, 2, 1},
      {"regular", {{{}, {0, 2, 1}, {0, 1, 3}}}, {0, 5, 10}, 1, 3},
      {"proportional rows", {{{}, {0, 1, 2}, {0, 2, 4}}}, {0, 1, 2}, kNoSolution, kNoSolution},
      {"zero matrix", {{{}, {0, 0, 0}, {0, 0, 0}}}, {0, 1, 1}, kNoSolution, kNoSolution},
      // a11 and a21 cancel exactly in the correction: the formula would
      // divide by 0 and write NaN although |det| > 1e-8.
      {"a11 cancelled by the correction", {{{}, {0, 1e-9, 5}, {0, -1e-9, 10}}}, {0, 1, 1},
       kNoSolution, kNoSolution},
  };
  for (const Case& c : cases) {
    TVector2 x{};
    Solve2x2(c.A, c.b, x);
    EXPECT_DOUBLE_EQ(x[1], c.x1) << c.name;
    EXPECT_DOUBLE_EQ(x[2], c.x2) << c.name;
  }
}

// A zero first column down to row 3 must be exchanged with row 3 (in A and
// b alike); the caller's arrays and entries outside 1..n must stay as given.
TEST(GaussSolve, ExchangesWithFirstNonZeroRowBelow) {
  const TMatrix A = Matrix({{0, 2, 1}, {0, 1, 3}, {5, 1, 1}});
  const TVector b = Vector({7, 11, 10});
  const TMatrix A0 = A;
  const TVector b0 = b;
  TVector x;
  x.fill(99.0);

  ASSERT_TRUE(GaussSolve(3, A, b, x));
  EXPECT_EQ(x[1], 1.0);
  EXPECT_EQ(x[2], 2.0);
  EXPECT_EQ(x[3], 3.0);
  EXPECT_EQ(x[0], 99.0);
  EXPECT_EQ(x[4], 99.0);
  EXPECT_EQ(A, A0);
  EXPECT_EQ(b, b0);
}

// The full size must be reachable without running off the arrays.
TEST(GaussSolve, SolvesTwentySixVariables) {
  TMatrix A{};
  TVector b{}, expected{};
  for (int i = 1; i <= kMaxGaussVars; ++i) expected[i] = i - 13.5;
  for (int i = 1; i <= kMaxGaussVars; ++i) {
    for (int j = 1; j <= kMaxGaussVars; ++j) A[i][j] = i == j ? 30.0 : 1.0 / (i + j);
    for (int j = 1; j <= kMaxGaussVars; ++j) b[i] += A[i][j] * expected[j];
  }
  TVector x{};
  ASSERT_TRUE(GaussSolve(kMaxGaussVars, A, b, x));
  for (int i = 1; i <= kMaxGaussVars; ++i) EXPECT_NEAR(x[i], expected[i], 1e-12) << "x[" << i << "]";

  ASSERT_TRUE(GaussSolve(1, Matrix({{4}}), Vector({2}), x));
  EXPECT_EQ(x[1], 0.5);
}

// A singular system must be reported and must not overwrite the caller's
// previous solution with the quotient of a division by zero.
TEST(GaussSolve, SingularIsReportedAndLeavesXUntouched) {
  struct Case { const char* name; int n; TMatrix A; TVector b; };
  const Case cases[] = {
      {"zero column, no row to exchange", 3, Matrix({{0, 1, 2}, {0, 3, 4}, {0, 5, 7}}), Vector({1, 2, 3})},
      {"only a tiny entry below", 2, Matrix({{0, 1}, {1e-30, 3}}), Vector({1, 2})},
      {"proportional rows: last pivot 0", 2, Matrix({{1, 2}, {2, 4}}), Vector({1, 2})},
      {"n = 1 with A[1][1] = 0", 1, Matrix({{0}}), Vector({1})},
      {"n = 0", 0, Matrix({{1}}), Vector({1})},
      {"n = 27", 27, Matrix({{1}}), Vector({1})},
  };
  for (const Case& c : cases) {
    TVector x;
    x.fill(42.0);
    EXPECT_FALSE(GaussSolve(c.n, c.A, c.b, x)) << c.name;
    for (int i = 0; i <= kMaxGaussVars; ++i) ASSERT_EQ(x[i], 42.0) << c.name << ", x[" << i << "]";
  }
}

// At (a+b) dt = 1 exactly the step is already too coarse: x jumps to u and
// v keeps its value.
TEST(SecondOrderStep, CoarseStepFollowsInput) {
  struct Case { int mode; double a, b, dt; };
  for (const Case c : {Case{0, 0.25, 0.25, 2.0}, Case{0, 0.5, 0.5, 5.0}, Case{1, 0.25, 100.0, 2.0}}) {
    double x = -65.0, v = 0.3;
    SecondOrderStep(c.mode, x, v, c.a, c.b, c.dt, 10.0);
    EXPECT_EQ(x, 10.0) << "mode " << c.mode << ", a " << c.a << ", dt " << c.dt;
    EXPECT_EQ(v, 0.3) << "mode " << c.mode << ", a " << c.a << ", dt " << c.dt;
  }
}

// x must move with the updated v (an explicit step would leave x at 0 here),
// and mode 1 must ignore b in favour of a.
TEST(SecondOrderStep, SemiImplicitAndModeOneUsesAForB) {
  double x = 0, v = 0;
  SecondOrderStep(0, x, v, 0.1, 0.2, 1.0, 1.0);
  EXPECT_DOUBLE_EQ(v, 0.02);
  EXPECT_DOUBLE_EQ(x, 0.02);

  double x1 = 0, v1 = 0, x0 = 0, v0 = 0;
  for (int step = 0; step < 500; ++step) {
    SecondOrderStep(1, x1, v1, 0.1, 5.0, 0.5, 1.0);
    SecondOrderStep(0, x0, v0, 0.1, 0.1, 0.5, 1.0);
  }
  EXPECT_EQ(x1, x0);
  EXPECT_EQ(v1, v0);
  EXPECT_NEAR(x1, 1.0, 1e-6);  // settles on a constant input
}

// Beyond +-20/62 V the limited exponential saturates: full block stays finite
// and a depolarised cell is fully unblocked.
TEST(MgBlock, SaturatesAtBothEndsOfTheLimitedExponential) {
  const double Mg = 1.0;  // mM
  EXPECT_EQ(MathMyO::MgBlock(Mg, -1.0), 1 / (1 + std::exp(20.0) * Mg / 3.57));
  EXPECT_EQ(MathMyO::MgBlock(Mg, 1.0), 1.0);
  EXPECT_DOUBLE_EQ(MathMyO::MgBlock(Mg, -0.065), 1 / (1 + std::exp(0.062 * 65) * Mg / 3.57));
  EXPECT_EQ(MathMyO::MgBlock(0.0, -0.065), 1.0);
}

// Both module names must reach the one copy, not a drifting duplicate.
TEST(MathMyO, SharesMathMyRoutines) {
  EXPECT_EQ(&MathMyO::AbsD, &MathMy::AbsD);
  EXPECT_EQ(&MathMyO::ExpLimited, &MathMy::ExpLimited);
  EXPECT_EQ(&MathMyO::GaussSolve, &MathMy::GaussSolve);
}

}  // namespace
}  // namespace velmora
