#pragma once
// Regressions of I, G and gNMDA on the z values (approximation kinds 4 and
// 5): target = b0 + b1*z1 + b2*z2 (kind 4), and for kind 5 also b3*z3 and
// the three z values of the previous pulse, b4..b6, which carry the
// membrane's memory of the pulse before.

#include <array>
#include <span>

#include "firingclamp/ApproximateFC.h"
#include "numeric/MathMy.h"
#include "base/Errors.h"

namespace velmora {

struct Pulses;

// The regressor vector phi[1..m]: phi[1] = 1, then the z values.
struct Regressors {
  std::array<double, 8> phi{};
  int m = 0;  // 0: no regression, EvalRegression gives 0
};

int RegressorCount(ApproxKind kind);  // 3 for kind 4, 7 for kind 5, 0 otherwise

// From calibration points k and k - 1 (z numbers iz1..iz3). Point 0 does
// not exist: for k = 1 its z values are taken as 0.
Regressors FillRegressors(const CalibrationSet& set, ApproxKind kind, int k, int iz1, int iz2, int iz3);

// From the z values actually inverted for pulses n and n - 1 (the per-pulse
// arrays z1, z2, z3, indexed by pulse number). Pulse 1 has no predecessor:
// for n <= 1 (or n beyond the arrays) the result has m = 0.
Regressors RegressorsFromPulses(ApproxKind kind, std::span<const double> z1, std::span<const double> z2,
                                std::span<const double> z3, int n);
// The same from the record's z1, z2, z3, as the estimation has filled them.
Regressors SetRegressorsFromPulses(const Pulses& p, ApproxKind kind, int n);

// Least squares over the calibration points 2..N (the first has no
// predecessor) of column `targetColumn` (1 I, 2 G, 11 gNMDA); the sums are
// divided by N. Coefficients beyond b(m-1) are 0. Singular normal
// equations are an error.
Result<RegressionCoefs> FitRegression(const CalibrationSet& set, ApproxKind kind, int iz1, int iz2, int iz3,
                                      int targetColumn);

// sum over i = 1..m of coef[i - 1] * phi[i].
double EvalRegression(const RegressionCoefs& coef, const Regressors& regressors);

// Solves the m x m normal equations A x = b (A symmetric, positive
// semi-definite) with MathMy::GaussSolve, after making sure the system is
// not singular: false when a basis function is, to one part in 1e10 of its
// mean square, a combination of the ones before it, when GaussSolve finds
// a zero pivot, or when the solution is not finite. x is then untouched.
bool SolveNormalEquations(int m, const TMatrix& A, const TVector& b, TVector& x);

}  // namespace velmora
