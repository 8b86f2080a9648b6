#pragma once
// The small numerical routines every analysis shares. MathMy is the general
// module; MathMyO reaches three of its routines unchanged and adds the NMDA
// magnesium block. Each routine exists once: MathMyO names MathMy's copies.
//
// Results must match the lab's earlier results bit for bit, so every formula
// keeps its operation order; do not "simplify" an expression here.

#include <array>
#include <cstdint>

namespace velmora {

inline constexpr int kMaxGaussVars = 26;

using TVector = std::array<double, kMaxGaussVars + 1>;  // entries 1..26; 0 is never touched
using TMatrix = std::array<TVector, kMaxGaussVars + 1>;  // A[row][column], 1..26 both ways
using TVector2 = std::array<double, 3>;                  // entries 1..2
using TMatrix2 = std::array<TVector2, 3>;                // A[row][column], 1..2 both ways

namespace MathMy {

// What Solve2x2 writes into both results when it finds no solution; callers
// test for this mark.
inline constexpr double kNoSolution = -13.0;

double AbsD(double x);
double Max2(double a, double b);              // b on a tie
double Min2(double a, double b);              // b on a tie
std::int32_t MaxInt2(std::int32_t i, std::int32_t j);  // j on a tie
std::int32_t MinInt2(std::int32_t i, std::int32_t j);  // j on a tie
bool ByteToBool(std::uint8_t b);

// 0 when a and b differ in sign (or one is 0), otherwise the one nearer to 0.
double MinMod(double a, double b);

// exp(x) cut to 0 below x = -20 and held at exp(20) above x = 20, so that
// rates built from it can neither overflow nor underflow into denormals.
double ExpLimited(double x);

// x^y as exp(y ln x); x must be positive, which is not checked.
double PowerXY(double x, double y);

// Solves A x = b for x[1..n] by Gaussian elimination without row scaling.
// A row is exchanged only when the diagonal entry is below 1e-20 in
// magnitude, and then with the first row below whose entry in that column is
// not exactly 0 (no search for the largest pivot).
//
// A singular system is reported instead of divided through: the result is
// false when a pivot is still below 1e-20 after that exchange, when the last
// pivot A[n][n] is below 1e-20, or when n is outside 1..26; x is then left
// as it was. A fit must never be written from a division by zero, and the
// caller can only keep its previous fit if it is told. n = 1 is solved as
// b[1] / A[1][1].
//
// A and b are the caller's copies to work on; nothing is allocated.
bool GaussSolve(int n, TMatrix A, TVector b, TVector& x);

// Solves the 2 x 2 system A x = b. When |A[1][1]| < 1e-8 the second equation
// is first added to the first. Both results are kNoSolution when
// |det| <= 1e-8, and also when A[1][1] is exactly 0 after that addition
// (the formula would divide by it and write NaN).
void Solve2x2(TMatrix2 A, TVector2 b, TVector2& x);

// One step dt of the second-order low-pass x'' + (a+b) x' + ab x = ab u,
// x the filtered value and v its time derivative; a, b are rates in 1/ms
// when dt is in ms. mode 1 is the critically damped case: b is taken equal
// to a. When (a+b) dt >= 1 the step is too coarse for the filter, so x
// simply follows u and v is left as it was. Semi-implicit Euler: x moves
// with the new v.
void SecondOrderStep(int mode, double& x, double& v, double a, double b, double dt, double u);

}  // namespace MathMy

namespace MathMyO {

using MathMy::AbsD;
using MathMy::ExpLimited;
using MathMy::GaussSolve;

// The fraction of the NMDA conductance that magnesium leaves unblocked,
// 1 / (1 + exp(-62 V) Mg / 3.57); Mg in mM, V in volts (0.062 per mV).
double MgBlock(double Mg, double V);

}  // namespace MathMyO

}  // namespace velmora
