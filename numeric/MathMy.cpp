#include "numeric/MathMy.h"

#include <cmath>
#include <utility>

namespace velmora {

namespace MathMy {

namespace {
constexpr double kTinyPivot = 1e-20;
constexpr double kTiny2x2 = 1e-8;
constexpr double kExpLimit = 20.0;
}  // namespace

double AbsD(double x) { return x < 0 ? -x : x; }
double Max2(double a, double b) { return a > b ? a : b; }
double Min2(double a, double b) { return a < b ? a : b; }
std::int32_t MaxInt2(std::int32_t i, std::int32_t j) { return i > j ? i : j; }
std::int32_t MinInt2(std::int32_t i, std::int32_t j) { return i < j ? i : j; }
bool ByteToBool(std::uint8_t b) { return b != 0; }

double MinMod(double a, double b) {
  if (a * b <= 0) return 0.0;
  return a >= 0 ? Min2(a, b) : Max2(a, b);
}

double ExpLimited(double x) {
  if (x < -kExpLimit) return 0.0;
  if (x > kExpLimit) return std::exp(kExpLimit);
  return std::exp(x);
}

double PowerXY(double x, double y) { return std::exp(y * std::log(x)); }

bool GaussSolve(int n, TMatrix A, TVector b, TVector& x) {
  if (n < 1 || n > kMaxGaussVars) return false;
  for (int k = 1; k <= n - 1; ++k) {
    if (AbsD(A[k][k]) < kTinyPivot) {
      int i = k + 1;
      while (i <= n && A[i][k] == 0.0) ++i;
      if (i <= n) {
        for (int j = k; j <= n; ++j) std::swap(A[k][j], A[i][j]);
        std::swap(b[k], b[i]);
      }
      if (AbsD(A[k][k]) < kTinyPivot) return false;
    }
    for (int i = k + 1; i <= n; ++i) {
      const double f = -A[i][k] / A[k][k];
      A[i][k] = 0.0;
      for (int j = k + 1; j <= n; ++j) A[i][j] = A[i][j] + f * A[k][j];
      b[i] = b[i] + f * b[k];
    }
  }
  if (AbsD(A[n][n]) < kTinyPivot) return false;

  // Every pivot is now at least 1e-20 in magnitude, so x can be written.
  x[n] = b[n] / A[n][n];
  for (int i = n - 1; i >= 1; --i) {
    double sum = 0.0;
    for (int j = i + 1; j <= n; ++j) sum += A[i][j] * x[j];
    x[i] = (b[i] - sum) / A[i][i];
  }
  return true;
}

void Solve2x2(TMatrix2 A, TVector2 b, TVector2& x) {
  if (AbsD(A[1][1]) < kTiny2x2) {
    A[1][1] += A[2][1];
    A[1][2] += A[2][2];
    b[1] += b[2];
  }
  const double det = A[2][2] * A[1][1] - A[1][2] * A[2][1];
  if (AbsD(det) <= kTiny2x2 || A[1][1] == 0.0) {
    x[1] = kNoSolution;
    x[2] = kNoSolution;
    return;
  }
  x[2] = (b[2] - b[1] / A[1][1] * A[2][1]) / det * A[1][1];
  x[1] = (b[1] - A[1][2] * x[2]) / A[1][1];
}

void SecondOrderStep(int mode, double& x, double& v, double a, double b, double dt, double u) {
  if (mode == 1) b = a;
  if ((a + b) * dt >= 1) {
    x = u;
    return;
  }
  v = v + dt * (a * b * (u - x) - (a + b) * v);
  x = x + dt * v;
}

}  // namespace MathMy

namespace MathMyO {

double MgBlock(double Mg, double V) { return 1 / (1 + ExpLimited(-62 * V) * Mg / 3.57); }

}  // namespace MathMyO

}  // namespace velmora
