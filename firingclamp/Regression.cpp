#include "firingclamp/Regression.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "firingclamp/Pulses.h"

namespace velmora {

namespace {

// A pivot below this fraction of its diagonal entry means the basis
// function is a combination of the earlier ones up to rounding: the fit
// would be decided by rounding noise, however finite it came out.
constexpr double kRelativePivot = 1e-10;

const char* TargetName(int column) {
  switch (column) {
    case CalibColumn::I: return "I";
    case CalibColumn::G: return "G";
    case CalibColumn::gNMDA: return "gNMDA";
    default: return "the target";
  }
}

}  // namespace

int RegressorCount(ApproxKind kind) {
  switch (kind) {
    case ApproxKind::Regression3: return 3;
    case ApproxKind::Regression7: return 7;
    default: return 0;
  }
}

Regressors FillRegressors(const CalibrationSet& set, ApproxKind kind, int k, int iz1, int iz2, int iz3) {
  Regressors r;
  r.m = RegressorCount(kind);
  if (r.m == 0) return r;
  r.phi[1] = 1;
  r.phi[2] = CalibZ(set, k, iz1);
  r.phi[3] = CalibZ(set, k, iz2);
  if (r.m == 7) {
    r.phi[4] = CalibZ(set, k, iz3);
    if (k >= 2) {
      r.phi[5] = CalibZ(set, k - 1, iz1);
      r.phi[6] = CalibZ(set, k - 1, iz2);
      r.phi[7] = CalibZ(set, k - 1, iz3);
    }
  }
  return r;
}

Regressors RegressorsFromPulses(ApproxKind kind, std::span<const double> z1, std::span<const double> z2,
                                std::span<const double> z3, int n) {
  Regressors r;
  const int m = RegressorCount(kind);
  const auto holds = [n](std::span<const double> z) { return static_cast<std::size_t>(n) < z.size(); };
  if (m == 0 || n <= 1 || !holds(z1) || !holds(z2) || (m == 7 && !holds(z3))) return r;
  r.m = m;
  r.phi[1] = 1;
  r.phi[2] = z1[n];
  r.phi[3] = z2[n];
  if (m == 7) {
    r.phi[4] = z3[n];
    r.phi[5] = z1[n - 1];
    r.phi[6] = z2[n - 1];
    r.phi[7] = z3[n - 1];
  }
  return r;
}

Regressors SetRegressorsFromPulses(const Pulses& p, ApproxKind kind, int n) {
  return RegressorsFromPulses(kind, p.z1, p.z2, p.z3, n);
}

Result<RegressionCoefs> FitRegression(const CalibrationSet& set, ApproxKind kind, int iz1, int iz2, int iz3,
                                      int targetColumn) {
  const int m = RegressorCount(kind);
  const int N = set.nCalib();
  if (m == 0) return Error{"", 0, "", "this approximation kind has no regression"};
  if (targetColumn < 1 || targetColumn > kCalibColumns)
    return Error{"", 0, "", fmt::format("column {} is no calibration column", targetColumn)};
  TMatrix A{};
  TVector b{};
  for (int k = 2; k <= N; ++k) {
    const Regressors r = FillRegressors(set, kind, k, iz1, iz2, iz3);
    const double target = set.At(k, targetColumn);
    for (int i = 1; i <= m; ++i) {
      for (int j = 1; j <= m; ++j) A[i][j] += r.phi[i] * r.phi[j] / N;
      b[i] += target * r.phi[i] / N;
    }
  }
  TVector x{};
  if (!SolveNormalEquations(m, A, b, x))
    return Error{"", 0, "",
                 fmt::format("the normal equations of the regression for {} are singular ({} calibration points "
                             "for {} coefficients, or z values that depend on each other)",
                             TargetName(targetColumn), N, m)};
  RegressionCoefs coef{};
  for (int i = 1; i <= m; ++i) coef[i - 1] = x[i];
  return coef;
}

double EvalRegression(const RegressionCoefs& coef, const Regressors& regressors) {
  double sum = 0;
  for (int i = 1; i <= std::min(regressors.m, 7); ++i) sum += coef[i - 1] * regressors.phi[i];
  return sum;
}

bool SolveNormalEquations(int m, const TMatrix& A, const TVector& b, TVector& x) {
  if (m < 1 || m > kMaxGaussVars) return false;
  // Elimination without exchanges is stable for a positive semi-definite
  // matrix; each pivot is then what is left of its basis function's mean
  // square after the earlier ones have explained what they can.
  TMatrix U = A;
  for (int k = 1; k <= m; ++k) {
    if (!(A[k][k] > 0) || !(U[k][k] > kRelativePivot * A[k][k])) return false;
    for (int i = k + 1; i <= m; ++i) {
      const double f = U[i][k] / U[k][k];
      for (int j = k; j <= m; ++j) U[i][j] -= f * U[k][j];
    }
  }
  TVector solution{};
  if (!MathMy::GaussSolve(m, A, b, solution)) return false;
  for (int i = 1; i <= m; ++i)
    if (!std::isfinite(solution[i])) return false;
  x = solution;
  return true;
}

}  // namespace velmora
