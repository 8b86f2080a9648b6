#include "firingclamp/Lattice.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "recording/TextIO.h"

namespace velmora {

namespace {

constexpr int kLatticeI = 100, kLatticeG = 80;  // last node indices
constexpr int kTopLevel = 14;                   // levels 0..14 make the scale; 14 is low z
constexpr int kNoLevel = 15;                    // grey

constexpr Color kLevelColors[17] = {
    {0xB0, 0x10, 0x10}, {0xF0, 0x00, 0x00}, {0xF0, 0x50, 0x10}, {0xF0, 0xB0, 0x10}, {0xE0, 0xF0, 0x10},
    {0xB0, 0xF0, 0x10}, {0x80, 0xF0, 0x00}, {0x00, 0xF0, 0x00}, {0x00, 0xF0, 0x80}, {0x00, 0xF0, 0xB0},
    {0x00, 0xF0, 0xF0}, {0x00, 0xC0, 0xF0}, {0x00, 0xA0, 0xF0}, {0x00, 0x10, 0xF0}, {0x00, 0x00, 0xB0},
    {0x80, 0x80, 0x80}, {0x10, 0x10, 0x10}};

// A point series has one colour, so the calibration points go into one
// series per colour level.
std::string CalibrationSeriesName(int level) { return fmt::format("Calibration {}", level); }

// The z number whose calibration values a frame showing surface m is coloured by.
int ZNumberOfSurface(const ApproxSettings& settings, int m) {
  return m == 2 ? settings.iz2 : m == 3 ? settings.iz3 : settings.iz1;
}

}  // namespace

LatticeBounds DefaultLatticeBounds(const TSurface& s) {
  return {1.1 * s.Imin, 1.1 * s.Imax, s.Gmin - 0.1 * s.Gmax, 1.1 * s.Gmax};
}

Lattice ComputeLattice(const LatticeBounds& b, const TSurface& z1Surface, const TSurface& z2Surface) {
  Lattice L;
  L.nLatI = kLatticeI;
  L.nLatG = kLatticeG;
  const std::size_t nodes = static_cast<std::size_t>(L.nLatI + 1) * (L.nLatG + 1);
  for (auto* v : {&L.LatI, &L.LatG, &L.LatZ1, &L.LatZ2}) v->resize(nodes);
  for (int i = 0; i <= L.nLatI; ++i)
    for (int j = 0; j <= L.nLatG; ++j) {
      const std::size_t n = L.Node(i, j);
      L.LatI[n] = b.Ilo + i * (b.Ihi - b.Ilo) / L.nLatI;
      L.LatG[n] = b.Glo + j * (b.Ghi - b.Glo) / L.nLatG;
      L.LatZ1[n] = SurfaceValue(z1Surface, L.LatI[n], L.LatG[n]);
      L.LatZ2[n] = SurfaceValue(z2Surface, L.LatI[n], L.LatG[n]);
    }
  return L;
}

const TSurface& SelectedSurface(const ApproxState& state, int m) {
  return m == 2 ? state.SurfZ2 : m == 3 ? state.SurfZ3 : state.SurfZ1;
}

int LevelOf(double z, double lo, double hi) {
  if (std::isnan(z)) return kNoLevel;
  const double zc = std::clamp(z, std::min(lo, hi), std::max(lo, hi));
  const double range = std::max(std::abs(hi - lo), 1e-6);
  // Halves to the even level, as the program rounds everywhere.
  return kTopLevel - static_cast<int>(std::nearbyint(std::abs(zc - lo) / range * kTopLevel));
}

Color ColorOfLevel(int level) { return level >= 0 && level <= 16 ? kLevelColors[level] : kLevelColors[kNoLevel]; }

ColorScale ColorScaleLimits(double zMin, double zMax) {
  const double span = std::abs(zMax - zMin);
  double s = 10;
  if (span < 10) s = 2;
  if (span < 2) s = 1;
  if (span < 1) s = 0.1;
  ColorScale c;
  c.zLo = zMin >= 0 ? std::trunc(zMin / s) * s : -(std::trunc(std::abs(zMin) / s) + 1) * s;
  c.zHi = zMax >= 0 ? (std::trunc(zMax / s) + 1) * s : -std::trunc(std::abs(zMax) / s) * s;
  c.zLo += 0.0;  // a limit of -0 would read "-0.000" on the colour bar
  c.zHi += 0.0;
  return c;
}

void DrawColorScale(LatticeFrame& frame, double lo, double hi) {
  Chart& bar = frame.colorBar;
  for (Axis* axis : {&bar.left, &bar.right, &bar.bottom, &bar.top}) axis->shown = false;
  bar.left.automatic = false;
  bar.left.max = 1;
  bar.legendShown = false;
  Series& scale = EnsureSeries(bar, "Scale", SeriesKind::Bubble);
  scale.Clear();
  for (int v = 1; v <= 15; ++v) scale.AddBubble(v, 0, 1, ColorOfLevel(15 - v));
  frame.label1 = Fixed(lo, 8, 3);
  frame.label2 = Fixed(hi, 8, 3);
}

void DrawLattice(LatticeFrame& frame, const Lattice& L, std::span<const double> Z, int mark) {
  const int nI = L.nLatI, nJ = L.nLatG;
  if (L.empty() || Z.size() != L.LatI.size()) return;
  const auto X = [&L](int i, int j) { return L.LatI[L.Node(i, j)]; };
  const auto Y = [&L](int i, int j) { return L.LatG[L.Node(i, j)]; };
  const auto At = [&L, Z](int i, int j) { return Z[L.Node(i, j)]; };

  Chart& map = frame.map;
  map.bottom.automatic = map.left.automatic = false;
  map.bottom.min = X(0, 0);
  map.bottom.max = X(nI, 0);
  map.left.min = Y(0, 0);
  map.left.max = Y(0, nJ);
  map.legendShown = false;
  Series& cells = EnsureSeries(map, "Lattice", SeriesKind::Bubble);
  Series& markers = EnsureSeries(map, "Markers", SeriesKind::Point, kBlack);
  cells.Clear();
  markers.Clear();
  DrawCalibrationPoints(frame, CalibrationSet{}, 0);  // none yet: they need this lattice's scale
  frame.visible = true;

  // Row 0 and column 0 do not count toward the scale.
  double zMin = 1e10, zMax = -1e10;
  for (int i = 1; i <= nI; ++i)
    for (int j = 1; j <= nJ; ++j) {
      zMin = std::min(zMin, At(i, j));
      zMax = std::max(zMax, At(i, j));
    }
  if (zMin > zMax) zMin = zMax = 0;  // a lattice of one row or column has no such node
  const ColorScale scale = ColorScaleLimits(zMin, zMax);
  frame.zLo = scale.zLo;
  frame.zHi = scale.zHi;
  DrawColorScale(frame, frame.zLo, frame.zHi);

  for (int i = 1; i <= nI - 1; ++i)
    for (int j = 1; j <= nJ - 1; ++j) {
      const double zc = (At(i, j) + At(i + 1, j) + At(i, j + 1) + At(i + 1, j + 1)) / 4;
      const double xc = (X(i, j + 1) + X(i + 1, j + 1)) / 2;
      const double yc = (Y(i + 1, j) + Y(i + 1, j + 1)) / 2;
      const double radius = std::min(std::abs(X(i + 1, j + 1) - X(i, j + 1)), std::abs(Y(i + 1, j + 1) - Y(i + 1, j)));
      cells.AddBubble(xc, yc, radius, ColorOfLevel(LevelOf(zc, frame.zLo, frame.zHi)));
    }

  if (mark > 0)
    for (int p = 1; 2 * mark * (p - 1) <= nI; ++p)
      for (int q = 1; 2 * mark * (q - 1) <= nJ; ++q) markers.AddPoint((2 * p - 1) * mark, (2 * q - 1) * mark);
}

void DrawCalibrationPoints(LatticeFrame& frame, const CalibrationSet& set, int iz) {
  Series* byLevel[kTopLevel + 1];
  for (int level = 0; level <= kTopLevel; ++level) {
    byLevel[level] = &EnsureSeries(frame.map, CalibrationSeriesName(level), SeriesKind::Point, ColorOfLevel(level));
    byLevel[level]->Clear();
  }
  for (int k = 1; k <= set.nCalib(); ++k) {
    const int level = LevelOf(CalibZ(set, k, iz), frame.zLo, frame.zHi);
    if (level >= 0 && level <= kTopLevel) byLevel[level]->AddPoint(set.At(k, CalibColumn::I), set.At(k, CalibColumn::G));
  }
}

Result<Lattice> DrawLattices(const ApproxSettings& settings, const std::filesystem::path& dir,
                             std::optional<LatticeBounds> bounds, int m1, int m2, ApproxState& state,
                             LatticeFrame& frame1, LatticeFrame& frame2, WarningSink& warnings) {
  if (Status fitted = Approximate(settings, dir, state, warnings); !fitted) return fitted.error();
  Lattice L = ComputeLattice(bounds.value_or(DefaultLatticeBounds(state.SurfZ1)), SelectedSurface(state, m1),
                             SelectedSurface(state, m2));
  DrawLattice(frame1, L, L.LatZ1, 0);
  DrawLattice(frame2, L, L.LatZ2, 0);
  DrawCalibrationPoints(frame1, state.calib, ZNumberOfSurface(settings, m1));
  DrawCalibrationPoints(frame2, state.calib, ZNumberOfSurface(settings, m2));
  return L;
}

Status WriteLatticeFiles(const std::filesystem::path& dir, const Lattice& L, const CalibrationSet& set, int iz1,
                         int iz2) {
  if (L.empty()) return Error{(dir / kLatticeFileName).string(), 0, "", "no lattice has been drawn yet"};
  const auto number = [](double x) { return Fixed(x, 10, 3); };
  std::string text = fmt::format("ZONE T=\"{}\"\r\nI= {:3d} ,J= {:3d}, K=1,F=POINT\r\n", kLatticeFileName,
                                 L.nLatG + 1, L.nLatI + 1);
  for (std::size_t n = 0; n < L.LatI.size(); ++n)
    text += fmt::format("{} {} {} {}\r\n", number(L.LatI[n]), number(L.LatG[n]), number(L.LatZ1[n]),
                        number(L.LatZ2[n]));
  if (Status written = WriteFileAtomically(dir / kLatticeFileName, text); !written) return written;

  text.clear();
  for (int k = 1; k <= set.nCalib(); ++k)
    text += fmt::format("{} {} {} {}\r\n", number(set.At(k, CalibColumn::I)), number(set.At(k, CalibColumn::G)),
                        number(CalibZ(set, k, iz1)), number(CalibZ(set, k, iz2)));
  return WriteFileAtomically(dir / kCalibrationPointsFileName, text);
}

}  // namespace velmora
