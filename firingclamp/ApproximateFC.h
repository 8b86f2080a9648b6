#pragma once
// Calibration and approximation of the firing-clamp method: a calibration
// set recorded with known current I (pA) and conductance G (nS) maps (I, G)
// to the per-pulse z values. Fitted surfaces z(I, G), or regressions of I,
// G and gNMDA on the z values (Regression.h), are what the estimation
// inverts to recover I(t) and G(t) of an experiment.
//
// Nothing here is program-wide: the fitted state is an ApproxState value
// that Approximate replaces only when a fit has fully succeeded, so a failed
// fit leaves the previous one (and its "Equations.txt") as they were.

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "charts/Chart.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

inline constexpr std::string_view kCalibrationFileName = "I_G_VT_dV_subV_PulseV_PulseDur.dat";
inline constexpr std::string_view kEquationsFileName = "Equations.txt";
inline constexpr std::string_view kNoCalibrationMessage = "Warning! Calibration has not been done yet!";

inline constexpr int kCalibColumns = 13;
inline constexpr int kMaxCalibPoints = 10000;

// Columns of the calibration file, in the order the pulse file writes them.
namespace CalibColumn {
inline constexpr int I = 1;            // pA
inline constexpr int G = 2;            // nS
inline constexpr int VT = 3;           // mV
inline constexpr int PulseV_VT = 4;    // mV
inline constexpr int subV = 5;         // mV
inline constexpr int PulseV = 6;       // mV
inline constexpr int NegPulseDur = 7;  // ms
inline constexpr int dVdt = 8;         // mV/ms
inline constexpr int VHalfPulse = 9;   // mV
inline constexpr int tPulse = 10;      // ms
inline constexpr int gNMDA = 11;       // nS, the third regression target
inline constexpr int dVdt_V1 = 12;     // mV/ms
inline constexpr int dVdt_V2 = 13;     // mV/ms
}  // namespace CalibColumn

using CalibPoint = std::array<double, kCalibColumns + 1>;  // columns 1..13; [0] unused

struct CalibrationSet {
  std::vector<CalibPoint> points;  // point k = 1..nCalib() at points[k - 1]

  int nCalib() const { return static_cast<int>(points.size()); }
  // Column 1..13 of point 1..nCalib().
  double At(int k, int column) const { return points[k - 1][column]; }
};

// The z numbers that both a measured pulse and a calibration point have:
// 3 VT, 4 PulseV-VT, 5 subV, 6 PulseV, 7 NegPulseDur, 8 dVdt, 9 VHalfPulse,
// 10 dVdt_V1, 11 dVdt_V2. Numbers 3..9 are also the calibration columns;
// 10 and 11 are the columns 12 and 13, because the pulse file keeps tPulse
// and gNMDA in columns 10 and 11. Any other number selects nothing.
inline constexpr int kFirstZ = 3, kLastZ = 11;
bool IsZNumber(int iz);
int CalibColumnOfZ(int iz);  // 0 when iz is no z number
// z number iz of point k; 0 when iz is no z number, as for a measured pulse.
double CalibZ(const CalibrationSet& set, int k, int iz);

// Reads `dir`/"I_G_VT_dV_subV_PulseV_PulseDur.dat": one point per line, the
// first 13 numbers of the line (any further ones are ignored); lines of
// blanks only are skipped. A missing or empty file is the error
// kNoCalibrationMessage; a line with fewer than 13 numbers, a token that is
// not a number, or more than 10 000 points is an error naming the line.
Result<CalibrationSet> ReadCalibration(const std::filesystem::path& dir);

// The approximation kind, the item of the main window's selector.
enum class ApproxKind : int {
  Cylindrical = 0,   // z = k1*I*G + b1*I + k2*G + b2
  Plane = 1,         // z = b1*I + k2*G + b2
  Quadratic = 2,     // all six coefficients
  NearestPoint = 3,  // nothing fitted; the nearest calibration point in z
  Regression3 = 4,   // (I, G) = b0 + b1*z1 + b2*z2
  Regression7 = 5,   // (I, G, gNMDA) from z1, z2, z3 of this and the previous pulse
};
inline constexpr int kApproxKinds = 6;
std::string_view ApproxKindCaption(ApproxKind kind);  // the selector's item text
bool IsSurfaceKind(ApproxKind kind);      // 0..3: surfaces (kind 3 only their rectangles and means)
bool IsRegressionKind(ApproxKind kind);   // 4, 5

// The fields of the "Approximate_FC" tab that the fit reads (spin fields
// are read truncated), and the two "Saturation" tab fields a surface fit
// takes over.
struct ApproxSettings {
  ApproxKind kind = ApproxKind::Regression7;  // selector, item 5
  int iz1 = 5;         // "z1=V"
  int iz2 = 4;         // "z2=V"
  int iz3 = 3;         // "z3=V"
  bool Use3 = false;   // "If use 3"
  double U = 0;        // pA, "Meander pos. pulse understimation, pA"
  double Gs = 0;       // nS, "G_scale, nS"
};

// z = q1*I^2 + q2*G^2 + k1*I*G + b1*I + k2*G + b2 over the calibration
// rectangle, which always reaches I = 0 and G = 0, continued linearly
// outside it. The means are over the calibration points.
struct TSurface {
  double q1 = 0, q2 = 0, k1 = 0, b1 = 0, k2 = 0, b2 = 0;
  double Imin = 0, Imax = 0;  // pA
  double Gmin = 0, Gmax = 0;  // nS
  double Imean = 0, Gmean = 0, zMean = 0, z2Mean = 0;
};

// Regression coefficients b0..b6 at [0..6]; [7..9] are spare.
using RegressionCoefs = std::array<double, 10>;

struct ApproxState {
  CalibrationSet calib;     // as read by the last successful Approximate
  ApproxSettings fitted;    // what that fit was made with (kind, z numbers)
  TSurface SurfZ1, SurfZ2, SurfZ3;       // refitted by kinds 0..3 only
  RegressionCoefs CoefI{}, CoefG{}, CoefNMDA{};  // refitted by kinds 4, 5 only
  std::array<double, 6> SaturationPars{};  // 0, U, 0, U, 0, Gs after a surface fit: [1], [3] U, [5] Gs
  std::array<std::string, 3> equations;    // the lines of "Equations.txt"; [0], [1] caption the "z1=", "z2=" labels
};

// Fits one surface to z number iz of the calibration set by kind 0..3 (kind
// 3 fits no coefficients, only the rectangle and the means). A singular or
// non-finite fit is an error; nothing is returned half made.
Result<TSurface> FitSurface(const CalibrationSet& set, int iz, ApproxKind kind);

// z(I, G): the polynomial inside the rectangle (bounds included), outside it
// continued linearly along the ray from the rectangle's centre.
double SurfaceValue(const TSurface& s, double I, double G);
double SurfaceDzDI(const TSurface& s, double I, double G);
double SurfaceDzDG(const TSurface& s, double I, double G);
// Second derivatives: the polynomial's inside the rectangle, 0 outside.
double SurfaceD2zDI2(const TSurface& s, double I, double G);
double SurfaceD2zDIDG(const TSurface& s, double I, double G);
double SurfaceD2zDG2(const TSurface& s, double I, double G);

// I and G of the calibration point nearest to (z1, z2) (and z3 when
// settings.Use3) in the z numbers settings.iz1..iz3; the first of equally
// near points wins. When the set is empty or no point is nearer than 1e8,
// I and G are left as they were and the result is false.
bool NearestCalibrationPoint(const CalibrationSet& set, const ApproxSettings& settings, double z1, double z2,
                             double z3, double& I, double& G);

// Button "Approximate": reads the calibration set from `dir`, fits by
// settings.kind and writes `dir`/"Equations.txt" (three lines, CR LF). On
// success `state` holds the new fit. On failure (no or bad calibration
// file, z number outside 3..11, singular normal equations, file not
// written) the message goes to `warnings`, the error is returned, and
// neither `state` nor "Equations.txt" is touched.
Status Approximate(const ApproxSettings& settings, const std::filesystem::path& dir, ApproxState& state,
                   WarningSink& warnings);

// The two comparison charts of the "Approximate_FC" tab.
struct ComparisonCharts {
  Chart first;   // z1 (kinds 0..3) or I (kinds 4, 5)
  Chart second;  // z2 (kinds 0..3) or G and gNMDA (kinds 4, 5)
};

// Button "Draw approximated versus true z1, z2": per calibration point the
// approximated against the true value, and the diagonal, from the last fit
// (nothing is refitted). Series: "approximated" (points), "true" (line);
// the second chart's "gNMDA" (points) with kind 5.
void DrawApproximatedVersusTrue(const ApproxState& state, ComparisonCharts& charts);

}  // namespace velmora
