#include "firingclamp/ApproximateFC.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "firingclamp/Regression.h"
#include "numeric/MathMy.h"
#include "recording/TextIO.h"

namespace velmora {

namespace {

constexpr double kFarAway = 1e8;  // no calibration point is taken when none is nearer in z
constexpr char kFailed[] = "approximation failed, the previous fit is kept: ";

// One basis function of a surface fit and the coefficient it determines.
struct Term {
  double TSurface::*coef;
  double (*f)(double I, double G);
};

constexpr Term kII{&TSurface::q1, [](double I, double) { return I * I; }};
constexpr Term kGG{&TSurface::q2, [](double, double G) { return G * G; }};
constexpr Term kIG{&TSurface::k1, [](double I, double G) { return I * G; }};
constexpr Term kI{&TSurface::b1, [](double I, double) { return I; }};
constexpr Term kG{&TSurface::k2, [](double, double G) { return G; }};
constexpr Term kOne{&TSurface::b2, [](double, double) { return 1.0; }};

constexpr Term kCylindrical[] = {kIG, kI, kG, kOne};
constexpr Term kPlane[] = {kI, kG, kOne};
constexpr Term kQuadratic[] = {kII, kGG, kIG, kI, kG, kOne};

// The constant term comes last in every kind.
std::span<const Term> TermsOf(ApproxKind kind) {
  switch (kind) {
    case ApproxKind::Cylindrical: return kCylindrical;
    case ApproxKind::Plane: return kPlane;
    case ApproxKind::Quadratic: return kQuadratic;
    default: return {};
  }
}

double Polynomial(const TSurface& s, double I, double G) {
  return s.q1 * I * I + s.q2 * G * G + s.k1 * I * G + s.b1 * I + s.k2 * G + s.b2;
}
double PolynomialDzDI(const TSurface& s, double I, double G) { return 2 * s.q1 * I + s.k1 * G + s.b1; }
double PolynomialDzDG(const TSurface& s, double I, double G) { return 2 * s.q2 * G + s.k1 * I + s.k2; }

bool Inside(const TSurface& s, double I, double G) {
  return s.Imin <= I && I <= s.Imax && s.Gmin <= G && G <= s.Gmax;
}

// Forward-difference step of the derivatives outside the rectangle.
double StepOf(double lo, double hi) {
  const double h = (hi - lo) / 1000;
  return h > 0 ? h : 1e-3;  // a rectangle without width still needs a step
}

bool Finite(const TSurface& s) {
  for (double x : {s.q1, s.q2, s.k1, s.b1, s.k2, s.b2, s.Imin, s.Imax, s.Gmin, s.Gmax, s.Imean, s.Gmean,
                   s.zMean, s.z2Mean})
    if (!std::isfinite(x)) return false;
  return true;
}

std::string ZLabel(int m) { return fmt::format("z{}=V", m); }

std::string SurfaceLine(std::string_view name, const TSurface& s) {
  return fmt::format("{}=({})*x*y+({})*x+({})*y+({})", name, Fixed(s.k1, 8, 5), Fixed(s.b1, 8, 5),
                     Fixed(s.k2, 7, 4), Fixed(s.b2, 8, 4));
}

std::string RegressionLine(std::string_view name, const RegressionCoefs& c) {
  return fmt::format("{}={}+{}*z1+{}*z2+{}*z3+{}*z4+{}*z5+{}*z6", name, Fixed(c[0], 8, 5), Fixed(c[1], 8, 5),
                     Fixed(c[2], 7, 4), Fixed(c[3], 8, 4), Fixed(c[4], 7, 4), Fixed(c[5], 8, 4),
                     Fixed(c[6], 7, 4));
}

}  // namespace

bool IsZNumber(int iz) { return iz >= kFirstZ && iz <= kLastZ; }

int CalibColumnOfZ(int iz) {
  if (!IsZNumber(iz)) return 0;
  if (iz == 10) return CalibColumn::dVdt_V1;
  if (iz == 11) return CalibColumn::dVdt_V2;
  return iz;
}

double CalibZ(const CalibrationSet& set, int k, int iz) {
  const int column = CalibColumnOfZ(iz);
  return column > 0 ? set.At(k, column) : 0.0;
}

Result<CalibrationSet> ReadCalibration(const std::filesystem::path& dir) {
  const std::filesystem::path path = dir / kCalibrationFileName;
  const std::string name = path.string();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return Error{name, 0, "", std::string(kNoCalibrationMessage)};
  // 13 numbers of width 8 make a line of 116 bytes; the point count bounds the file.
  auto reader = LineReader::Open(path, ReadLimits{4096, 0});
  if (!reader) return reader.error();

  CalibrationSet set;
  std::string_view line;
  while (reader->Next(line)) {
    const long at = reader->lineNumber();
    CalibPoint p{};
    int read = 0;
    double x = 0;
    std::string_view bad;
    for (Scan scan; read < kCalibColumns && (scan = NextReal(line, x, bad)) != Scan::End;) {
      if (scan == Scan::NotANumber)
        return Error{name, at, fmt::format("column {}", read + 1), fmt::format("{} is not a number", Quoted(bad))};
      p[++read] = x;
    }
    if (read == 0) continue;
    if (read < kCalibColumns)
      return Error{name, at, "", fmt::format("{} numbers where a calibration point has {}", read, kCalibColumns)};
    if (set.nCalib() == kMaxCalibPoints)
      return Error{name, at, "", fmt::format("more than {} calibration points", kMaxCalibPoints)};
    set.points.push_back(p);
  }
  if (Status s = reader->status(); !s) return s.error();
  if (set.points.empty()) return Error{name, 0, "", std::string(kNoCalibrationMessage)};
  return set;
}

std::string_view ApproxKindCaption(ApproxKind kind) {
  switch (kind) {
    case ApproxKind::Cylindrical: return "z=k1*xy+b1*x+k2*y+b2 - cylindrical surface";
    case ApproxKind::Plane: return "z=b1*x+k2*y+b2 - linear plane";
    case ApproxKind::Quadratic: return "z=q1*x2+q2*y2+k1*xy+b1*x+k2*y+b2 - quadratic";
    case ApproxKind::NearestPoint: return "nearest point from calibration set";
    case ApproxKind::Regression3: return "Regression: (I,G)=b0+b1*z1+b2*z2+b3*z3";
    case ApproxKind::Regression7: return "Regression: (I,G,gNMDA)=b0+b1*z1+b2*z2+b3*z3+...";
  }
  return "";
}

bool IsSurfaceKind(ApproxKind kind) {
  return kind == ApproxKind::Cylindrical || kind == ApproxKind::Plane || kind == ApproxKind::Quadratic ||
         kind == ApproxKind::NearestPoint;
}

bool IsRegressionKind(ApproxKind kind) {
  return kind == ApproxKind::Regression3 || kind == ApproxKind::Regression7;
}

Result<TSurface> FitSurface(const CalibrationSet& set, int iz, ApproxKind kind) {
  const int N = set.nCalib();
  if (N == 0) return Error{"", 0, "", std::string(kNoCalibrationMessage)};
  TSurface s;
  const std::span<const Term> terms = TermsOf(kind);
  const int m = static_cast<int>(terms.size());
  if (m > 0) {
    TMatrix A{};
    TVector b{};
    for (int k = 1; k <= N; ++k) {
      const double I = set.At(k, CalibColumn::I), G = set.At(k, CalibColumn::G), z = CalibZ(set, k, iz);
      for (int r = 1; r <= m; ++r) {
        const double fr = terms[r - 1].f(I, G);
        for (int c = 1; c <= m; ++c) A[r][c] += fr * terms[c - 1].f(I, G) / N;
        b[r] += fr * z / N;
      }
    }
    A[m][m] = 1;
    TVector x{};
    if (!SolveNormalEquations(m, A, b, x))
      return Error{"", 0, "",
                   fmt::format("the normal equations of the surface for z number {} are singular ({} calibration "
                               "points for {} coefficients, or the points do not span the (I, G) plane)",
                               iz, N, m)};
    for (int r = 1; r <= m; ++r) s.*(terms[r - 1].coef) = x[r];
  }
  for (int k = 1; k <= N; ++k) {
    const double I = set.At(k, CalibColumn::I), G = set.At(k, CalibColumn::G), z = CalibZ(set, k, iz);
    s.Imin = MathMy::Min2(s.Imin, I);
    s.Imax = MathMy::Max2(s.Imax, I);
    s.Gmin = MathMy::Min2(s.Gmin, G);
    s.Gmax = MathMy::Max2(s.Gmax, G);
    s.Imean = ((k - 1) * s.Imean + I) / k;
    s.Gmean = ((k - 1) * s.Gmean + G) / k;
    s.zMean = ((k - 1) * s.zMean + z) / k;
    s.z2Mean = ((k - 1) * s.z2Mean + z * z) / k;
  }
  if (!Finite(s))
    return Error{"", 0, "", fmt::format("the surface for z number {} is not finite: calibration values too large", iz)};
  return s;
}

double SurfaceValue(const TSurface& s, double I, double G) {
  if (Inside(s, I, G)) return Polynomial(s, I, G);
  const double Ic = (s.Imin + s.Imax) / 2, Gc = (s.Gmin + s.Gmax) / 2;
  const double dI = I - Ic, dG = G - Gc;
  const double zC = Polynomial(s, Ic, Gc);
  // B = C + t (dI, dG), where the ray leaves the rectangle.
  double t = std::numeric_limits<double>::infinity();
  if (dI != 0) t = std::min(t, (s.Imax - s.Imin) / 2 / std::abs(dI));
  if (dG != 0) t = std::min(t, (s.Gmax - s.Gmin) / 2 / std::abs(dG));
  const double IB = Ic + t * dI, GB = Gc + t * dG;
  const double CB = std::hypot(IB - Ic, GB - Gc);
  // A rectangle without width along the ray (all calibration points at
  // I = 0, say) has no chord; its limit, the slope at the centre, stands in.
  if (CB == 0) return zC + PolynomialDzDI(s, Ic, Gc) * dI + PolynomialDzDG(s, Ic, Gc) * dG;
  return zC + (Polynomial(s, IB, GB) - zC) / CB * std::hypot(dI, dG);
}

double SurfaceDzDI(const TSurface& s, double I, double G) {
  if (Inside(s, I, G)) return PolynomialDzDI(s, I, G);
  const double h = StepOf(s.Imin, s.Imax);
  return (SurfaceValue(s, I + h, G) - SurfaceValue(s, I, G)) / h;
}

double SurfaceDzDG(const TSurface& s, double I, double G) {
  if (Inside(s, I, G)) return PolynomialDzDG(s, I, G);
  const double h = StepOf(s.Gmin, s.Gmax);
  return (SurfaceValue(s, I, G + h) - SurfaceValue(s, I, G)) / h;
}

double SurfaceD2zDI2(const TSurface& s, double I, double G) { return Inside(s, I, G) ? 2 * s.q1 : 0.0; }
double SurfaceD2zDIDG(const TSurface& s, double I, double G) { return Inside(s, I, G) ? s.k1 : 0.0; }
double SurfaceD2zDG2(const TSurface& s, double I, double G) { return Inside(s, I, G) ? 2 * s.q2 : 0.0; }

bool NearestCalibrationPoint(const CalibrationSet& set, const ApproxSettings& settings, double z1, double z2,
                             double z3, double& I, double& G) {
  double best = kFarAway;
  bool found = false;
  for (int k = 1; k <= set.nCalib(); ++k) {
    const double d1 = CalibZ(set, k, settings.iz1) - z1, d2 = CalibZ(set, k, settings.iz2) - z2;
    double d2sum = d1 * d1 + d2 * d2;
    if (settings.Use3) {
      const double d3 = CalibZ(set, k, settings.iz3) - z3;
      d2sum += d3 * d3;
    }
    const double d = std::sqrt(d2sum);
    if (d < best) {
      best = d;
      I = set.At(k, CalibColumn::I);
      G = set.At(k, CalibColumn::G);
      found = true;
    }
  }
  return found;
}

Status Approximate(const ApproxSettings& settings, const std::filesystem::path& dir, ApproxState& state,
                   WarningSink& warnings) {
  const auto fail = [&warnings](Error e) -> Status {
    warnings.Warn(e.What());
    return e;
  };
  const int iz[3] = {settings.iz1, settings.iz2, settings.iz3};
  const bool usesZ3 = settings.kind == ApproxKind::Regression7 || (settings.Use3 && IsSurfaceKind(settings.kind));
  for (int m = 1; m <= (usesZ3 ? 3 : 2); ++m)
    if (!IsZNumber(iz[m - 1]))
      return fail(Error{"", 0, ZLabel(m),
                        fmt::format("{} is no z number (3-VT, 4-PulseV-VT, 5-subV, 6-PulseV, 7-NegPulseDur, 8-dVdt, "
                                    "9-VHalfPulse, 10-dVdt_V1, 11-dVdt_V2)",
                                    iz[m - 1])});

  auto calib = ReadCalibration(dir);
  if (!calib) return fail(calib.error());
  const std::string calibName = (dir / kCalibrationFileName).string();

  ApproxState next = state;
  next.calib = std::move(*calib);
  next.fitted = settings;
  if (IsSurfaceKind(settings.kind)) {
    TSurface* surfaces[3] = {&next.SurfZ1, &next.SurfZ2, &next.SurfZ3};
    for (int m = 1; m <= 3; ++m) {
      auto s = FitSurface(next.calib, iz[m - 1], settings.kind);
      if (!s) return fail(Error{calibName, 0, ZLabel(m), kFailed + s.error().message});
      *surfaces[m - 1] = *s;
    }
    next.SaturationPars = {0, settings.U, 0, settings.U, 0, settings.Gs};
    next.equations = {SurfaceLine("z1", next.SurfZ1), SurfaceLine("z2", next.SurfZ2), ""};
  } else {
    struct Target {
      int column;
      RegressionCoefs* coef;
      const char* name;
    };
    // Kind 4 has no gNMDA regression: its coefficients are cleared so that
    // "Equations.txt" shows no equation of an earlier fit as if it held.
    next.CoefNMDA = {};
    const Target targets[3] = {{CalibColumn::I, &next.CoefI, "I"},
                               {CalibColumn::G, &next.CoefG, "G"},
                               {CalibColumn::gNMDA, &next.CoefNMDA, "gNMDA"}};
    for (int t = 0; t < (settings.kind == ApproxKind::Regression7 ? 3 : 2); ++t) {
      auto coef = FitRegression(next.calib, settings.kind, iz[0], iz[1], iz[2], targets[t].column);
      if (!coef) return fail(Error{calibName, 0, targets[t].name, kFailed + coef.error().message});
      *targets[t].coef = *coef;
    }
    next.equations = {RegressionLine("I", next.CoefI), RegressionLine("G", next.CoefG),
                      RegressionLine("gNMDA", next.CoefNMDA)};
  }

  std::string text;
  for (const std::string& line : next.equations) text += line + "\r\n";
  if (Status written = WriteFileAtomically(dir / kEquationsFileName, text); !written) return fail(written.error());
  state = std::move(next);
  return Ok();
}

void DrawApproximatedVersusTrue(const ApproxState& state, ComparisonCharts& charts) {
  Series& approx1 = EnsureSeries(charts.first, "approximated", SeriesKind::Point, kBlue);
  Series& true1 = EnsureSeries(charts.first, "true", SeriesKind::Line, kBlack);
  Series& approx2 = EnsureSeries(charts.second, "approximated", SeriesKind::Point, kBlue);
  Series& true2 = EnsureSeries(charts.second, "true", SeriesKind::Line, kBlack);
  Series& nmda = EnsureSeries(charts.second, "gNMDA", SeriesKind::Point, kRed);
  for (Series* s : {&approx1, &true1, &approx2, &true2, &nmda}) s->Clear();

  const CalibrationSet& set = state.calib;
  const ApproxSettings& f = state.fitted;
  if (!IsRegressionKind(f.kind)) {
    for (int k = 1; k <= set.nCalib(); ++k) {
      const double I = set.At(k, CalibColumn::I), G = set.At(k, CalibColumn::G);
      const double z1 = CalibZ(set, k, f.iz1), z2 = CalibZ(set, k, f.iz2);
      approx1.AddPoint(z1, SurfaceValue(state.SurfZ1, I, G));
      true1.AddPoint(z1, z1);
      approx2.AddPoint(z2, SurfaceValue(state.SurfZ2, I, G));
      true2.AddPoint(z2, z2);
    }
    return;
  }
  // The fit of kind 5 starts at point 2, as point 1 has no predecessor;
  // point 1 would be plotted from made-up zeros.
  const bool withPrevious = f.kind == ApproxKind::Regression7;
  for (int k = withPrevious ? 2 : 1; k <= set.nCalib(); ++k) {
    const Regressors phi = FillRegressors(set, f.kind, k, f.iz1, f.iz2, f.iz3);
    const double I = set.At(k, CalibColumn::I), G = set.At(k, CalibColumn::G);
    approx1.AddPoint(I, EvalRegression(state.CoefI, phi));
    true1.AddPoint(I, I);
    approx2.AddPoint(G, EvalRegression(state.CoefG, phi));
    true2.AddPoint(G, G);
    if (withPrevious) nmda.AddPoint(set.At(k, CalibColumn::gNMDA), EvalRegression(state.CoefNMDA, phi));
  }
}

}  // namespace velmora
