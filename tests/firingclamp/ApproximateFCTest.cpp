#include "firingclamp/ApproximateFC.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "firingclamp/Pulses.h"
#include "recording/TextIO.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

// A calibration point: I, G and the z values of subV (z number 5),
// PulseV-VT (4), VT (3); gNMDA in column 11.
CalibPoint Point(double I, double G, double subV = 0, double PulseV_VT = 0, double VT = 0, double gNMDA = 0) {
  CalibPoint p{};
  p[CalibColumn::I] = I;
  p[CalibColumn::G] = G;
  p[CalibColumn::subV] = subV;
  p[CalibColumn::PulseV_VT] = PulseV_VT;
  p[CalibColumn::VT] = VT;
  p[CalibColumn::gNMDA] = gNMDA;
  return p;
}

// As the pulse file writes it: 13 numbers 8:3, one blank between, CR LF.
std::string CalibText(const std::vector<CalibPoint>& points) {
  std::string text;
  for (const CalibPoint& p : points) {
    for (int c = 1; c <= kCalibColumns; ++c) text += Fixed(p[c], 8, 3) + (c < kCalibColumns ? " " : "\r\n");
  }
  return text;
}

void WriteCalibration(const TempDir& dir, const std::vector<CalibPoint>& points) {
  dir.Write(kCalibrationFileName, CalibText(points));
}

// Over a 5 x 4 grid: z1 = subV on the cylindrical surface
// 0.01 I G + 0.2 I - 1.5 G - 60, z2 = PulseV-VT on 0.002 I G + 0.1 I + 2 G + 10,
// z3 = VT on the plane 0.5 G - 50. All exact in the file's 3 decimals.
std::vector<CalibPoint> Grid() {
  std::vector<CalibPoint> points;
  for (double I : {0, 25, 50, 75, 100})
    for (double G : {0, 1, 2, 4})
      points.push_back(Point(I, G, 0.01 * I * G + 0.2 * I - 1.5 * G - 60, 0.002 * I * G + 0.1 * I + 2 * G + 10,
                             0.5 * G - 50));
  return points;
}

CalibrationSet SetOf(std::vector<CalibPoint> points) { return CalibrationSet{std::move(points)}; }

// A short line would otherwise take its missing numbers from the next line,
// and an overlong file overrun the set; both must name the line.
TEST(ReadCalibration, RejectsMalformedFilesNamingFileAndLine) {
  const std::string good = CalibText({Point(10, 1)});
  std::string tooMany;
  for (int k = 0; k <= kMaxCalibPoints; ++k) tooMany += good;
  const std::string twelve = good.substr(0, good.size() - 2 - 9) + "\r\n";  // without " " and the 13th field
  struct Case { std::string name, content; long line; std::string message; };
  for (const Case& c : {Case{"short line", good + twelve + good, 2, "12 numbers where a calibration point has 13"},
                        Case{"comma", good + "1,5" + good.substr(8), 2, "column 1: \"1,5\" is not a number"},
                        Case{"10001 points", tooMany, 10001, "more than 10000 calibration points"},
                        Case{"empty", "", 0, std::string(kNoCalibrationMessage)}}) {
    TempDir dir;
    dir.Write(kCalibrationFileName, c.content);
    const auto set = ReadCalibration(dir.path());
    ASSERT_FALSE(set) << c.name;
    EXPECT_EQ(set.error().line, c.line) << c.name;
    EXPECT_THAT(set.error().What(), HasSubstr(std::string(kCalibrationFileName))) << c.name;
    EXPECT_THAT(set.error().What(), HasSubstr(c.message)) << c.name;
  }
  TempDir none;
  const auto missing = ReadCalibration(none.path());
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message, kNoCalibrationMessage);
}

// The writer's own files: CR LF or LF, numbers beyond 13 ignored, a blank
// last line not taken for a point.
TEST(ReadCalibration, ReadsWhatThePulseFileWrites) {
  TempDir dir;
  std::string lf = CalibText({Point(10, 1, -60), Point(20, 2, -55)});
  lf.erase(lf.find('\r'), 1);
  lf.insert(lf.find('\n'), " 99");
  dir.Write(kCalibrationFileName, lf + "   \r\n");
  const auto set = ReadCalibration(dir.path());
  ASSERT_TRUE(set) << set.error().What();
  ASSERT_EQ(set->nCalib(), 2);
  EXPECT_EQ(set->At(1, CalibColumn::subV), -60);
  EXPECT_EQ(set->At(2, CalibColumn::G), 2);
}

// A surface fitted to calibration column c is inverted with the measured
// z value of the same number; if the two sides disagreed on a number, the
// estimate would invert one quantity against a surface of another.
TEST(CalibZ, SelectsTheQuantityThatZValueSelectsForAPulse) {
  Pulses pulse;
  SizePulseArrays(pulse, 1);
  CalibPoint p{};
  using Array = std::vector<double> Pulses::*;
  const std::pair<Array, int> written[] = {
      {&Pulses::I, 1},           {&Pulses::G, 2},         {&Pulses::VT, 3},     {&Pulses::PulseV_VT, 4},
      {&Pulses::subV, 5},        {&Pulses::PulseV, 6},    {&Pulses::NegPulseDur, 7}, {&Pulses::dVdt, 8},
      {&Pulses::VHalfPulse, 9},  {&Pulses::tPulse, 10},   {&Pulses::gNMDA, 11}, {&Pulses::dVdt_V1, 12},
      {&Pulses::dVdt_V2, 13}};  // the pulse file's columns
  for (const auto& [array, column] : written) (pulse.*array)[1] = p[column] = 100 + column;
  for (int n = 0; n <= 13; ++n) EXPECT_EQ(CalibZ(SetOf({p}), 1, n), ZValue(pulse, n, 1)) << "z number " << n;
}

// The rectangle always reaches I = 0 and G = 0, whatever the calibration
// spans; the means run over the points.
TEST(FitSurface, RectangleAlwaysReachesZero) {
  std::vector<CalibPoint> points;
  for (double I : {20, 60, 100})
    for (double G : {1, 3, 5}) points.push_back(Point(I, G, -60 + 0.1 * I - 0.01 * G * G));
  const CalibrationSet set = SetOf(points);
  for (int kind = 0; kind <= 3; ++kind) {
    const auto s = FitSurface(set, 5, static_cast<ApproxKind>(kind));
    ASSERT_TRUE(s) << "kind " << kind << ": " << s.error().What();
    EXPECT_EQ((std::array{s->Imin, s->Imax, s->Gmin, s->Gmax}), (std::array{0.0, 100.0, 0.0, 5.0})) << "kind " << kind;
    EXPECT_EQ((std::array{s->Imean, s->Gmean}), (std::array{60.0, 3.0})) << "kind " << kind;
    EXPECT_NEAR(s->zMean, -54 - 0.35 / 3, 1e-12) << "kind " << kind;
  }
}

// Each basis function's coefficient lands in its own field: the quadratic
// fit of a cylindrical surface has no square terms.
TEST(FitSurface, QuadraticFitPutsEachTermInItsCoefficient) {
  const auto quad = FitSurface(SetOf(Grid()), 5, ApproxKind::Quadratic);
  ASSERT_TRUE(quad);
  const double got[6] = {quad->q1, quad->q2, quad->k1, quad->b1, quad->k2, quad->b2};
  const double want[6] = {0, 0, 0.01, 0.2, -1.5, -60};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << "coefficient " << i;
}

// The polynomial 0.001 I^2 + 0.2 G^2 + I + G over [0, 100] x [0, 5].
TSurface Quadratic() {
  TSurface s;
  s.q1 = 0.001;
  s.q2 = 0.2;
  s.b1 = 1;
  s.k2 = 1;
  s.Imax = 100;
  s.Gmax = 5;
  return s;
}
double QuadraticAt(double I, double G) { return 0.001 * I * I + 0.2 * G * G + I + G; }

// Points on the border are inside: the polynomial and its curvature, not
// the continuation; outside, the value follows the chord from the centre C
// to the border point B on the ray, and the curvature is 0.
TEST(SurfaceValue, BorderIsInsideAndOutsideFollowsTheChordFromTheCentre) {
  const TSurface s = Quadratic();
  for (const auto& [I, G] : {std::pair{100.0, 3.0}, {0.0, 0.0}, {50.0, 5.0}, {100.0, 5.0}, {0.0, 2.5}}) {
    EXPECT_DOUBLE_EQ(SurfaceValue(s, I, G), QuadraticAt(I, G)) << I << ", " << G;
    EXPECT_DOUBLE_EQ(SurfaceD2zDI2(s, I, G), 0.002) << I << ", " << G;
    EXPECT_DOUBLE_EQ(SurfaceDzDI(s, I, G), 0.002 * I + 1) << I << ", " << G;
  }
  // C = (50, 2.5). (150, 2.5): B = (100, 2.5), r = 2 |CB|. (50, 10): a
  // vertical ray, B = (50, 5), r = 3 |CB|.
  const double zC = QuadraticAt(50, 2.5);
  EXPECT_DOUBLE_EQ(SurfaceValue(s, 150, 2.5), zC + 2 * (QuadraticAt(100, 2.5) - zC));
  EXPECT_NEAR(SurfaceValue(s, 50, 10), zC + 3 * (QuadraticAt(50, 5) - zC), 1e-9);
  EXPECT_EQ(SurfaceD2zDI2(s, 150, 2.5), 0);
  EXPECT_EQ(SurfaceD2zDG2(s, 50, 10), 0);
  EXPECT_NEAR(SurfaceDzDI(s, 150, 2.5), 2 * (QuadraticAt(100, 2.5) - zC) / 100, 1e-6);
  EXPECT_NEAR(SurfaceDzDG(s, 50, 10), 3 * (QuadraticAt(50, 5) - zC) / 7.5, 1e-6);
}

// The linear continuation of a plane is the plane itself, in every
// direction out of the rectangle (corners and axis-parallel rays included).
TEST(SurfaceValue, PlaneContinuesAsItself) {
  const auto plane = FitSurface(SetOf(Grid()), 4, ApproxKind::Plane);
  ASSERT_TRUE(plane);
  const TSurface& p = *plane;
  for (const auto& [I, G] : {std::pair{-50.0, -3.0}, {250.0, 2.0}, {50.0, -10.0}, {300.0, 40.0}, {-1.0, 2.0}}) {
    EXPECT_NEAR(SurfaceValue(p, I, G), p.b1 * I + p.k2 * G + p.b2, 1e-9) << I << ", " << G;
    EXPECT_NEAR(SurfaceDzDI(p, I, G), p.b1, 1e-6) << I << ", " << G;
    EXPECT_NEAR(SurfaceDzDG(p, I, G), p.k2, 1e-6) << I << ", " << G;
  }
}

// A rectangle without width (every point at I = 0) has no chord to the
// border; values and slopes outside must still be finite, following the
// surface's own slope at the centre.
TEST(SurfaceValue, RectangleWithoutWidthStaysFinite) {
  TSurface s;
  s.b1 = 3;
  s.k2 = 2;
  s.Gmax = 4;
  EXPECT_DOUBLE_EQ(SurfaceValue(s, 10, 2), 30 + 4);
  EXPECT_DOUBLE_EQ(SurfaceValue(s, 10, 6), 30 + 12);
  EXPECT_NEAR(SurfaceDzDI(s, 10, 2), 3, 1e-9);
}

// Of equally near points the one with the lower number wins; z3 counts
// only with "If use 3"; nothing nearer than 1e8 leaves I and G alone.
TEST(NearestCalibrationPoint, FirstOfEquallyNearPointsWins) {
  const CalibrationSet set = SetOf({Point(10, 1, -60, 10, -50), Point(20, 2, -58, 10, -40), Point(30, 3, -62, 10, -50)});
  ApproxSettings settings;  // z1 subV, z2 PulseV-VT, z3 VT
  double I = -1, G = -1;
  ASSERT_TRUE(NearestCalibrationPoint(set, settings, -60, 10, -40, I, G));
  EXPECT_EQ(I, 10);
  ASSERT_TRUE(NearestCalibrationPoint(set, settings, -61, 10, -50, I, G));
  EXPECT_EQ(I, 10);  // points 1 and 3 both 1 mV away
  EXPECT_EQ(G, 1);
  settings.Use3 = true;
  ASSERT_TRUE(NearestCalibrationPoint(set, settings, -59, 10, -40, I, G));
  EXPECT_EQ(I, 20);

  I = G = -1;
  EXPECT_FALSE(NearestCalibrationPoint(set, settings, 1e9, 0, 0, I, G));
  EXPECT_FALSE(NearestCalibrationPoint(CalibrationSet{}, settings, -60, 10, -50, I, G));
  EXPECT_EQ(I, -1);
  EXPECT_EQ(G, -1);
}

// Kind 0 writes k1 8:5, b1 8:5, k2 7:4, b2 8:4 of z1 and z2 and an empty
// third line; q1 and q2 never appear.
TEST(Approximate, EquationsOfSurfacesInTheirWidths) {
  TempDir dir;
  WriteCalibration(dir, Grid());
  ApproxSettings settings;
  settings.kind = ApproxKind::Cylindrical;
  settings.U = 30;
  settings.Gs = 2.5;
  ApproxState state;
  CollectingSink warnings;
  ASSERT_TRUE(Approximate(settings, dir.path(), state, warnings));
  EXPECT_EQ(warnings.size(), 0u);
  EXPECT_EQ(dir.Read(kEquationsFileName),
            "z1=( 0.01000)*x*y+( 0.20000)*x+(-1.5000)*y+(-60.0000)\r\n"
            "z2=( 0.00200)*x*y+( 0.10000)*x+( 2.0000)*y+( 10.0000)\r\n"
            "\r\n");
  EXPECT_EQ(state.equations[0], "z1=( 0.01000)*x*y+( 0.20000)*x+(-1.5000)*y+(-60.0000)");
  EXPECT_EQ(state.calib.nCalib(), 20);
  EXPECT_EQ(state.SaturationPars, (std::array<double, 6>{0, 30, 0, 30, 0, 2.5}));
}

// Calibration where I = 2 + 3 z1 - 0.5 z2 and G = 1 - 0.02 z1 + 0.25 z2
// hold exactly, with gNMDA depending on z3 as well.
std::vector<CalibPoint> RegressionSet() {
  std::vector<CalibPoint> points;
  int seed = 7;
  const auto next = [&seed](int range) { return (seed = (seed * 37 + 11) % 101) % range; };
  for (int k = 0; k < 40; ++k) {
    const double z1 = -65 + next(15), z2 = 5 + next(12), z3 = -55 + next(9);
    points.push_back(Point(2 + 3 * z1 - 0.5 * z2, 1 - 0.02 * z1 + 0.25 * z2, z1, z2, z3, 0.5 + 0.1 * z3));
  }
  return points;
}

// Kind 4 fits b0..b2 of I and G; its third line still begins "gNMDA=" and,
// as kind 4 has no gNMDA regression, shows no coefficients of an earlier
// kind-5 fit.
TEST(Approximate, Kind4EquationsShowOnlyItsOwnFit) {
  TempDir dir;
  WriteCalibration(dir, RegressionSet());
  ApproxState state;
  CollectingSink warnings;
  ApproxSettings settings;
  ASSERT_TRUE(Approximate(settings, dir.path(), state, warnings));
  EXPECT_NE(state.CoefNMDA[0], 0);

  settings.kind = ApproxKind::Regression3;
  ASSERT_TRUE(Approximate(settings, dir.path(), state, warnings));
  EXPECT_EQ(dir.Read(kEquationsFileName),
            "I= 2.00000+ 3.00000*z1+-0.5000*z2+  0.0000*z3+ 0.0000*z4+  0.0000*z5+ 0.0000*z6\r\n"
            "G= 1.00000+-0.02000*z1+ 0.2500*z2+  0.0000*z3+ 0.0000*z4+  0.0000*z5+ 0.0000*z6\r\n"
            "gNMDA= 0.00000+ 0.00000*z1+ 0.0000*z2+  0.0000*z3+ 0.0000*z4+  0.0000*z5+ 0.0000*z6\r\n");
  EXPECT_EQ(warnings.size(), 0u);
}

// A singular system (too few points, points on one line, a z value that
// never changes) is a failed approximation: reported, and neither the
// previous fit nor "Equations.txt" is touched.
TEST(Approximate, SingularNormalEquationsFailAndKeepThePreviousFit) {
  struct Case { std::string name; ApproxKind kind; std::vector<CalibPoint> points; std::string field, message; };
  const std::vector<Case> cases = {
      {"two points, plane", ApproxKind::Plane, {Point(10, 1, -60), Point(20, 2, -55)}, "z1=V",
       "the normal equations of the surface for z number 5 are singular (2 calibration points for 3 coefficients"},
      {"points on G = I / 10", ApproxKind::Quadratic,
       {Point(10, 1, -60), Point(20, 2, -55), Point(30, 3, -52), Point(40, 4, -50), Point(70, 7, -47)}, "z1=V",
       "singular"},
      {"constant z1", ApproxKind::Regression3,
       {Point(10, 1, -60, 5), Point(20, 2, -60, 6), Point(30, 3, -60, 8), Point(40, 4, -60, 9)}, "I",
       "the normal equations of the regression for I are singular"}};
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write(kEquationsFileName, "previous\r\n");
    WriteCalibration(dir, c.points);
    ApproxState state;
    state.SurfZ1.b2 = 42;
    state.CoefI[0] = 42;
    ApproxSettings settings;
    settings.kind = c.kind;
    CollectingSink warnings;
    const Status fitted = Approximate(settings, dir.path(), state, warnings);
    ASSERT_FALSE(fitted) << c.name;
    EXPECT_EQ(fitted.error().field, c.field) << c.name;
    EXPECT_THAT(fitted.error().message, HasSubstr("approximation failed")) << c.name;
    EXPECT_THAT(fitted.error().message, HasSubstr(c.message)) << c.name;
    ASSERT_EQ(warnings.size(), 1u) << c.name;
    EXPECT_EQ(warnings[0], fitted.error().What()) << c.name;
    EXPECT_EQ(dir.Read(kEquationsFileName), "previous\r\n") << c.name;
    EXPECT_EQ(state.SurfZ1.b2, 42) << c.name;
    EXPECT_EQ(state.CoefI[0], 42) << c.name;
    EXPECT_EQ(state.calib.nCalib(), 0) << c.name;
  }
}

// A z number that neither a pulse nor a calibration point has (the spin
// fields allow 0..11) is refused before anything is read; z3 only counts
// where it is used.
TEST(Approximate, RefusesNumbersThatAreNoZValue) {
  struct Case { ApproxKind kind; int iz1, iz3; bool Use3; std::string field; };
  for (const Case& c : {Case{ApproxKind::Plane, 0, 3, false, "z1=V"}, Case{ApproxKind::Regression3, 2, 3, false, "z1=V"},
                        Case{ApproxKind::Regression7, 5, 0, false, "z3=V"}, Case{ApproxKind::Plane, 5, 12, true, "z3=V"},
                        Case{ApproxKind::Plane, 5, 0, false, ""}}) {
    TempDir dir;
    WriteCalibration(dir, Grid());
    ApproxSettings settings;
    settings.kind = c.kind;
    settings.iz1 = c.iz1;
    settings.iz3 = c.iz3;
    settings.Use3 = c.Use3;
    ApproxState state;
    CollectingSink warnings;
    const Status fitted = Approximate(settings, dir.path(), state, warnings);
    const std::string name = "kind " + std::to_string(static_cast<int>(c.kind)) + " z1 " + std::to_string(c.iz1) +
                             " z3 " + std::to_string(c.iz3);
    ASSERT_EQ(fitted.ok(), c.field.empty()) << name;
    if (fitted) continue;
    EXPECT_EQ(fitted.error().field, c.field) << name;
    EXPECT_THAT(fitted.error().message, HasSubstr("is no z number")) << name;
    EXPECT_FALSE(std::filesystem::exists(dir / kEquationsFileName)) << name;
  }
}

// Kind 5 plots from point 2 on, like its fit: point 1 has no predecessor
// and would be plotted from made-up zeros. Each drawing refills the series.
TEST(DrawApproximatedVersusTrue, PlotsTheLastFitAgainstTheTruth) {
  TempDir dir;
  WriteCalibration(dir, RegressionSet());
  ApproxState state;
  CollectingSink warnings;
  ASSERT_TRUE(Approximate(ApproxSettings{}, dir.path(), state, warnings));
  ComparisonCharts charts;
  DrawApproximatedVersusTrue(state, charts);
  const Series* I = FindSeries(charts.first, "approximated");
  const Series* nmda = FindSeries(charts.second, "gNMDA");
  ASSERT_TRUE(I && nmda);
  ASSERT_EQ(I->points.size(), 39u);
  EXPECT_EQ(nmda->points.size(), 39u);
  for (const ChartPoint& p : I->points) EXPECT_NEAR(p.y, p.x, 1e-6);
  EXPECT_EQ(FindSeries(charts.first, "true")->points[0], (ChartPoint{I->points[0].x, I->points[0].x}));

  DrawApproximatedVersusTrue(state, charts);  // refilled, not appended
  EXPECT_EQ(FindSeries(charts.first, "approximated")->points.size(), 39u);
}

}  // namespace
}  // namespace velmora
