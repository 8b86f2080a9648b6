#include "firingclamp/Lattice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "recording/TextIO.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

constexpr Color kLevel0{0xB0, 0x10, 0x10}, kLevel7{0x00, 0xF0, 0x00}, kLevel14{0x00, 0x00, 0xB0};
constexpr Color kGrey{0x80, 0x80, 0x80};

// z = I, or z = G when `alongG`, as a plane surface over [0, 100] x [0, 5].
TSurface PlaneAlong(bool alongG) {
  TSurface s;
  (alongG ? s.k2 : s.b1) = 1;
  s.Imax = 100;
  s.Gmax = 5;
  return s;
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

// The scale's ends sit on multiples of a step chosen by the span, below
// zMin and above zMax; a limit of 0 must not read "-0.000".
TEST(ColorScaleLimits, ListedExamples) {
  struct Case { double zMin, zMax, zLo, zHi; std::string label1, label2; };
  for (const Case& c : {Case{3.2, 7.9, 2, 8, "   2.000", "   8.000"}, Case{-15, -3, -20, 0, " -20.000", "   0.000"},
                        Case{5, 5, 5, 5.1, "   5.000", "   5.100"}, Case{-2.5, 1, -4, 2, "  -4.000", "   2.000"},
                        Case{12, 45, 10, 50, "  10.000", "  50.000"}, Case{-20, -20, -20.1, -20, " -20.100", " -20.000"}}) {
    const ColorScale scale = ColorScaleLimits(c.zMin, c.zMax);
    EXPECT_NEAR(scale.zLo, c.zLo, 1e-12) << c.zMin << ".." << c.zMax;
    EXPECT_NEAR(scale.zHi, c.zHi, 1e-12) << c.zMin << ".." << c.zMax;
    LatticeFrame frame;
    DrawColorScale(frame, scale.zLo, scale.zHi);
    EXPECT_EQ(frame.label1, c.label1) << c.zMin << ".." << c.zMax;
    EXPECT_EQ(frame.label2, c.label2) << c.zMin << ".." << c.zMax;
  }
}

// Level 14 at lo, 0 at hi, the ends for values beyond; a scale without
// width must not divide by zero; NaN has no level of the scale.
TEST(LevelOf, EndsClippingAndDegenerateScale) {
  struct Case { double z, lo, hi; int level; };
  for (const Case c : {Case{0, 0, 14, 14}, Case{14, 0, 14, 0}, Case{-3, 0, 14, 14}, Case{99, 0, 14, 0},
                       Case{7, 0, 14, 7}, Case{3.4, 0, 14, 11}, Case{3.6, 0, 14, 10}, Case{5, 5, 5, 14},
                       Case{6, 5, 5, 14}, Case{10, 10, 0, 14}, Case{0, 10, 0, 0}, Case{NAN, 0, 14, 15}})
    EXPECT_EQ(LevelOf(c.z, c.lo, c.hi), c.level) << "z " << c.z << " on " << c.lo << ".." << c.hi;
}

TEST(ColorOfLevel, TableAndGreyBeyondIt) {
  struct Case { int level; Color color; };
  for (const Case c : {Case{0, kLevel0}, Case{7, kLevel7}, Case{14, kLevel14}, Case{15, kGrey},
                       Case{16, Color{0x10, 0x10, 0x10}}, Case{-1, kGrey}, Case{17, kGrey}}) {
    const Color got = ColorOfLevel(c.level);
    EXPECT_EQ(got, c.color) << "level " << c.level << ": " << int(got.r) << "," << int(got.g) << "," << int(got.b);
  }
}

// Row 0 and column 0 do not enter the colour scale (a node at -40.5 would
// take zLo to -50); one bubble per inner cell, coloured on that scale; the
// colour bar runs from blue to red; the marker grid lies every 2*mark.
TEST(DrawLattice, ScaleCellsColourBarAndMarkers) {
  const Lattice L = ComputeLattice({-40.5, 59.5, 0, 8}, PlaneAlong(false), PlaneAlong(false));
  LatticeFrame frame;
  DrawLattice(frame, L, L.LatZ1, 25);
  EXPECT_TRUE(frame.visible);
  EXPECT_EQ(frame.zLo, -40);
  EXPECT_EQ(frame.zHi, 60);
  EXPECT_EQ(frame.label1, " -40.000");
  EXPECT_EQ(frame.map.bottom.min, -40.5);
  EXPECT_EQ(frame.map.bottom.max, 59.5);
  EXPECT_EQ(frame.map.left.max, 8);

  const Series* cells = FindSeries(frame.map, "Lattice");
  ASSERT_TRUE(cells);
  ASSERT_EQ(cells->bubbles.size(), 99u * 79u);
  const Bubble& first = cells->bubbles.front();  // cell i = 1, j = 1
  EXPECT_NEAR(first.x, -39, 1e-12);
  EXPECT_NEAR(first.y, 0.15, 1e-12);
  EXPECT_NEAR(first.radius, 0.1, 1e-12);
  EXPECT_EQ(first.color, ColorOfLevel(LevelOf(-39, -40, 60)));
  EXPECT_EQ(cells->bubbles.back().color, ColorOfLevel(LevelOf(59, -40, 60)));

  const Series* bar = FindSeries(frame.colorBar, "Scale");
  ASSERT_TRUE(bar);
  ASSERT_EQ(bar->bubbles.size(), 15u);
  EXPECT_EQ(bar->bubbles.front(), (Bubble{1, 0, 1, kLevel14}));
  EXPECT_EQ(bar->bubbles.back(), (Bubble{15, 0, 1, kLevel0}));

  EXPECT_THAT(FindSeries(frame.map, "Markers")->points,
              ::testing::ElementsAre(ChartPoint{25, 25}, ChartPoint{25, 75}, ChartPoint{75, 25}, ChartPoint{75, 75},
                                     ChartPoint{125, 25}, ChartPoint{125, 75}));
}

CalibPoint Point(double I, double G, double subV, double PulseV_VT, double VT) {
  CalibPoint p{};
  p[CalibColumn::I] = I;
  p[CalibColumn::G] = G;
  p[CalibColumn::subV] = subV;
  p[CalibColumn::PulseV_VT] = PulseV_VT;
  p[CalibColumn::VT] = VT;
  return p;
}

// Calibration points beyond the scale take its end colours.
TEST(DrawCalibrationPoints, ValuesBeyondTheScaleTakeTheEndColours) {
  LatticeFrame frame;
  frame.zLo = 0;
  frame.zHi = 10;
  const CalibrationSet set{{Point(1, 1, -5, 0, 0), Point(2, 2, 20, 0, 0), Point(3, 3, 5, 0, 0)}};
  DrawCalibrationPoints(frame, set, 5);
  EXPECT_THAT(FindSeries(frame.map, "Calibration 14")->points, ::testing::ElementsAre(ChartPoint{1, 1}));
  EXPECT_THAT(FindSeries(frame.map, "Calibration 0")->points, ::testing::ElementsAre(ChartPoint{2, 2}));
  EXPECT_THAT(FindSeries(frame.map, "Calibration 7")->points, ::testing::ElementsAre(ChartPoint{3, 3}));
  EXPECT_EQ(FindSeries(frame.map, "Calibration 7")->color, kLevel7);
}

// A 5 x 4 grid of calibration points with z1 = subV = 0.2 I - 60,
// z2 = PulseV-VT = 2 G + 10, z3 = VT = G - 50, as the pulse file writes it.
void WriteGrid(const TempDir& dir) {
  std::string text;
  for (double I : {0, 25, 50, 75, 100})
    for (double G : {0, 1, 2, 4}) {
      const CalibPoint p = Point(I, G, 0.2 * I - 60, 2 * G + 10, G - 50);
      for (int c = 1; c <= kCalibColumns; ++c) text += Fixed(p[c], 8, 3) + (c < kCalibColumns ? " " : "\r\n");
    }
  dir.Write(kCalibrationFileName, text);
}

// "Draw lattices" spans the rectangle of the surface just fitted (the one
// before the fit would be empty at the first click); each frame colours the
// calibration points by the z value of the surface it shows.
TEST(DrawLattices, SpansTheRefittedRectangleAndColoursByTheShownZ) {
  TempDir dir;
  WriteGrid(dir);
  ApproxSettings settings;
  settings.kind = ApproxKind::Plane;
  ApproxState state;
  LatticeFrame frame1, frame2;
  CollectingSink warnings;
  const auto L = DrawLattices(settings, dir.path(), std::nullopt, 1, 3, state, frame1, frame2, warnings);
  ASSERT_TRUE(L) << L.error().What();
  EXPECT_TRUE(std::filesystem::exists(dir / kEquationsFileName));
  EXPECT_EQ(frame1.map.bottom.min, 0);
  EXPECT_NEAR(frame1.map.bottom.max, 110, 1e-12);
  EXPECT_NEAR(frame1.map.left.min, -0.4, 1e-12);
  EXPECT_NEAR(frame1.map.left.max, 4.4, 1e-12);
  EXPECT_NEAR(L->LatZ2[L->Node(100, 80)], 4.4 - 50, 1e-9);  // frame 2 shows z3 = VT
  EXPECT_EQ(frame2.zLo, -52);  // z3 spans -50.34 .. -45.6 over the nodes counted
  EXPECT_EQ(frame2.zHi, -44);
  // The points at G = 2 have VT = -48, halfway up the scale: level 7.
  EXPECT_THAT(FindSeries(frame2.map, "Calibration 7")->points,
              ::testing::ElementsAre(ChartPoint{0, 2}, ChartPoint{25, 2}, ChartPoint{50, 2}, ChartPoint{75, 2},
                                     ChartPoint{100, 2}));

  // "Rescale" keeps the bounds given.
  const auto rescaled = DrawLattices(settings, dir.path(), LatticeBounds{10, 20, 1, 2}, 1, 2, state, frame1, frame2,
                                     warnings);
  ASSERT_TRUE(rescaled);
  EXPECT_EQ(frame1.map.bottom.min, 10);
  EXPECT_EQ(frame1.map.left.max, 2);

  // Without calibration the action stops before drawing.
  TempDir empty;
  LatticeFrame untouched;
  const auto failed = DrawLattices(settings, empty.path(), std::nullopt, 1, 2, state, untouched, untouched, warnings);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().message, kNoCalibrationMessage);
  EXPECT_FALSE(untouched.visible);
}

// The lattice file: the two header lines with the node counts in 3
// characters, then I, G, z1, z2 per node 10:3 with G varying fastest; the
// calibration points file: I, G, z1, z2 per point.
TEST(WriteLatticeFiles, HeaderWidthsAndNodeOrder) {
  TempDir dir;
  const Lattice L = ComputeLattice({0, 100, 0, 8}, PlaneAlong(false), PlaneAlong(true));
  const CalibrationSet set{{Point(25, 1.5, -55.25, 13, -49), Point(-10, 0, -62, 10, -50)}};
  ASSERT_TRUE(WriteLatticeFiles(dir.path(), L, set, 5, 4));
  const std::vector<std::string> lines = LinesOf(dir.Read(kLatticeFileName));
  ASSERT_EQ(lines.size(), 2u + 101u * 81u);
  EXPECT_EQ(lines[0], "ZONE T=\"Lattices_x_y_z1_z2.dat\"");
  EXPECT_EQ(lines[1], "I=  81 ,J= 101, K=1,F=POINT");
  EXPECT_EQ(lines[2], "     0.000      0.000      0.000      0.000");
  EXPECT_EQ(lines[3], "     0.000      0.100      0.000      0.100");
  EXPECT_EQ(lines[2 + 81], "     1.000      0.000      1.000      0.000");
  EXPECT_EQ(dir.Read(kCalibrationPointsFileName),
            "    25.000      1.500    -55.250     13.000\r\n"
            "   -10.000      0.000    -62.000     10.000\r\n");
}

// "Write" before any lattice was drawn writes nothing and says why.
TEST(WriteLatticeFiles, NoLatticeWritesNothing) {
  TempDir dir;
  const Status written = WriteLatticeFiles(dir.path(), Lattice{}, CalibrationSet{}, 5, 4);
  ASSERT_FALSE(written);
  EXPECT_THAT(written.error().What(), HasSubstr("no lattice has been drawn yet"));
  EXPECT_FALSE(std::filesystem::exists(dir / kLatticeFileName));
  EXPECT_FALSE(std::filesystem::exists(dir / kCalibrationPointsFileName));
}

}  // namespace
}  // namespace velmora
