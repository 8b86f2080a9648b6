#pragma once
// Lattices: colour maps of two approximation surfaces z(I, G) over a
// rectangle of the (I, G) plane, as bubbles one per cell, with the
// calibration points coloured by their measured z on the same scale.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "charts/Chart.h"
#include "firingclamp/ApproximateFC.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

inline constexpr std::string_view kLatticeFileName = "Lattices_x_y_z1_z2.dat";
inline constexpr std::string_view kCalibrationPointsFileName = "CalibrationPoints_x_y_z1_z2.dat";

// Nodes [i, j], i = 0..nLatI along I and j = 0..nLatG along G, stored with
// j varying fastest.
struct Lattice {
  int nLatI = -1, nLatG = -1;  // last indices in use; -1 before the first computation
  std::vector<double> LatI, LatG, LatZ1, LatZ2;  // pA, nS, z

  bool empty() const { return LatI.empty(); }
  std::size_t Node(int i, int j) const { return static_cast<std::size_t>(i) * (nLatG + 1) + j; }
};

struct LatticeBounds {
  double Ilo = 0, Ihi = 0;  // pA
  double Glo = 0, Ghi = 0;  // nS
};

// The span "Draw lattices z1(I,G), z2(I,G)" gives a surface's rectangle:
// 10 % beyond it, and below G = 0 by a tenth of Gmax.
LatticeBounds DefaultLatticeBounds(const TSurface& s);

// 101 x 81 nodes over the bounds; LatZ1 from surface `z1Surface`, LatZ2 from
// `z2Surface` (the surfaces that the two frames' selectors choose).
Lattice ComputeLattice(const LatticeBounds& bounds, const TSurface& z1Surface, const TSurface& z2Surface);

// The surface a frame's selector 'z1', 'z2', 'z3' (m = 1, 2, 3) chooses; any
// other m chooses z1.
const TSurface& SelectedSurface(const ApproxState& state, int m);

// Colour level 14 (at lo) .. 0 (at hi) of z clipped to the scale; a NaN z
// has level 15 (grey), as no colour of the scale is right for it.
int LevelOf(double z, double lo, double hi);
// The scale's colour of level 0..16; grey (level 15) for any other level.
Color ColorOfLevel(int level);

// The colour-scale limits: zLo <= zMin and zHi >= zMax on multiples of a
// step of 10, 2, 1 or 0.1 chosen by the span |zMax - zMin|.
struct ColorScale {
  double zLo = 0, zHi = 0;
};
ColorScale ColorScaleLimits(double zMin, double zMax);

// One lattice frame: the map (bubbles "Lattice"; points "Markers"; the
// calibration points in "Calibration 0" .. "Calibration 14", one series per
// colour level, as a point series has a single colour), the colour bar
// (bubbles "Scale"), its end labels and the limits of its colour scale,
// kept between drawings.
struct LatticeFrame {
  Chart map;
  Chart colorBar;
  std::string label1, label2;  // colour bar ends: zLo and zHi as 8:3
  double zLo = 0, zHi = 0;
  bool visible = false;
};

// Colour bar: 15 bubbles at x = 1..15, blue (low z) at the left; the labels.
void DrawColorScale(LatticeFrame& frame, double lo, double hi);

// One lattice into a frame: axes to the lattice's span, the colour scale
// from the z of the nodes i, j >= 1, one bubble per inner cell; with
// mark > 0 a marker grid every 2*mark nodes.
void DrawLattice(LatticeFrame& frame, const Lattice& lattice, std::span<const double> Z, int mark);

// The calibration points into a frame's map (replacing those it showed),
// coloured by z number iz on the frame's colour scale.
void DrawCalibrationPoints(LatticeFrame& frame, const CalibrationSet& set, int iz);

// "Draw lattices z1(I,G), z2(I,G)" (bounds = nullopt: the rectangle of the
// refitted SurfZ1) and "Rescale" (the bounds given): Approximate, then the
// lattice of the surfaces that selectors m1, m2 (1..3) choose, drawn into
// both frames with the calibration points, each frame colouring them by the
// z number of the surface it shows. A failed Approximate stops the action
// and is returned; the frames are then left as they were.
Result<Lattice> DrawLattices(const ApproxSettings& settings, const std::filesystem::path& dir,
                             std::optional<LatticeBounds> bounds, int m1, int m2, ApproxState& state,
                             LatticeFrame& frame1, LatticeFrame& frame2, WarningSink& warnings);

// Button "Write": `dir`/"Lattices_x_y_z1_z2.dat" (a header of two lines,
// then one line I, G, z1, z2 per node) and `dir`/"CalibrationPoints_x_y_z1_z2.dat"
// (I, G and z numbers iz1, iz2 of every calibration point), each number
// 10:3, CR LF. Without a computed lattice nothing is written.
Status WriteLatticeFiles(const std::filesystem::path& dir, const Lattice& lattice, const CalibrationSet& set,
                         int iz1, int iz2);

}  // namespace velmora
