#include "analyses/Splitting.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "numeric/MathMy.h"
#include "recording/TextIO.h"

namespace velmora {

namespace {

constexpr double kDegenerate = 1e-8;  // |D| at or below: the balances cannot be told apart

// The last sample of the slot's voltage, never past what it holds.
int LastSample(const SweepSlot& s) { return std::min(s.nLast, static_cast<int>(s.V.size()) - 1); }

// Samples 0..n of `from` into `to`; entries beyond n keep what they held,
// and a trace longer than any before grows with zeros.
void CopyTrace(const std::vector<double>& from, int n, std::vector<double>& to) {
  if (static_cast<int>(to.size()) < n + 1) to.resize(n + 1, 0.0);
  std::copy(from.begin(), from.begin() + (n + 1), to.begin());
}

struct Overlap {
  long kStart = 0, kEnd = -1;  // samples of the first trace; empty when kEnd < kStart
};

Overlap OverlapOf(const MarkedTraces& m, int shift) {
  Overlap o;
  o.kStart = std::max(0, -shift);
  o.kEnd = std::min({static_cast<long>(m.nV1), static_cast<long>(m.nV2) - shift,
                     static_cast<long>(m.V1Filt.size()) - 1, static_cast<long>(m.V2Filt.size()) - 1 - shift});
  return o;
}

// k = 0 and the multiples of the step within the overlap.
template <class F>
void ForPlottedSamples(const Overlap& o, int plotStep, F&& f) {
  const long step = std::max(1, plotStep);
  for (long k = (o.kStart + step - 1) / step * step; k <= o.kEnd; k += step) f(k);
}

double At(const std::vector<double>& v, long k) { return k < static_cast<long>(v.size()) ? v[k] : 0.0; }

void Smooth(std::vector<double>& y, int n, double w, int iterations) {
  n = std::min(n, static_cast<int>(y.size()) - 1);
  for (int pass = 0; pass < iterations; ++pass)
    for (int k = 1; k <= n; ++k) y[k] = w * y[k - 1] + (1 - w) * y[k];
}

}  // namespace

double MarkTraceAtZeroCurrent(MarkedTraces& marked, const Recording& rec, int slot) {
  const SweepSlot& s = rec.traces[slot];
  marked.nV1 = LastSample(s);
  if (marked.nV2 == 0) marked.nV2 = marked.nV1;
  CopyTrace(s.V, marked.nV1, marked.V1Mark);
  if (static_cast<int>(marked.V2Mark.size()) < marked.nV2 + 1) marked.V2Mark.resize(marked.nV2 + 1, 0.0);
  return rec.par.StepPars.CmdScale;
}

void MarkTraceAtCurrent(MarkedTraces& marked, const Recording& rec, int slot) {
  const SweepSlot& s = rec.traces[slot];
  marked.nV2 = LastSample(s);
  CopyTrace(s.V, marked.nV2, marked.V2Mark);
}

void SetConstantVoltage(MarkedTraces& marked, const SplitSettings& settings) {
  marked.nV2 = marked.nV1;
  if (static_cast<int>(marked.V2Mark.size()) < marked.nV2 + 1) marked.V2Mark.resize(marked.nV2 + 1);
  std::fill(marked.V2Mark.begin(), marked.V2Mark.begin() + (marked.nV2 + 1), settings.Vconst);
}

int ShiftSamples(double timeShift, double dt) {
  const double shift = std::trunc(timeShift / 1000 / dt);
  // A shift past any sweep leaves no overlap; it must not overflow on the way.
  return std::isfinite(shift) ? static_cast<int>(std::clamp(shift, -1e9, 1e9)) : 0;
}

void SmoothMarkedTraces(MarkedTraces& marked, const SplitSettings& settings) {
  marked.V1Filt = marked.V1Mark;
  marked.V2Filt = marked.V2Mark;
  const double iterations = std::trunc(settings.Iterations);
  if (!(iterations >= 1)) return;
  const int passes = static_cast<int>(std::min(iterations, double{std::numeric_limits<int>::max()}));
  Smooth(marked.V1Filt, marked.nV1, settings.filterWeight, passes);
  Smooth(marked.V2Filt, marked.nV2, settings.filterWeight, passes);
}

void DrawMarkedTraces(const MarkedTraces& marked, const SplitSettings& settings, double dt, int plotStep,
                      Chart& voltage) {
  const int shift = ShiftSamples(settings.timeShift, dt);
  Series& V1 = EnsureSeries(voltage, "V1", SeriesKind::Line, kBlue);
  Series& V2 = EnsureSeries(voltage, "V2", SeriesKind::Line, kRed);
  V1.Clear();
  V2.Clear();
  ForPlottedSamples(OverlapOf(marked, shift), plotStep, [&](long k) {
    V1.AddPoint(k * dt, marked.V1Filt[k]);
    V2.AddPoint(k * dt, marked.V2Filt[k + shift]);
  });
}

Result<long> SplitFromTwoTraces(MarkedTraces& marked, const SplitSettings& settings, double dt, int plotStep,
                                SplitCharts& charts, const std::filesystem::path& dir) {
  const SplitSettings& s = settings;
  const int shift = ShiftSamples(s.timeShift, dt);
  const double Vdrop = s.I2 * s.Ra / 1000;  // mV: pA times MOhm
  const Overlap o = OverlapOf(marked, shift);
  if (o.kEnd < o.kStart) return 0L;

  if (static_cast<long>(marked.SplitGE.size()) < o.kEnd + 1) {
    marked.SplitGE.resize(o.kEnd + 1);
    marked.SplitGI.resize(o.kEnd + 1);
  }
  double GE = 0, GI = 0;  // nS, repeated where a sample is degenerate
  for (long k = o.kStart; k <= o.kEnd; ++k) {
    const double Va = marked.V1Filt[k];
    const double Vb = marked.V2Filt[k + shift] - Vdrop;
    const double D = (Va - s.VE) * (Vb - s.VI) - (Vb - s.VE) * (Va - s.VI);
    if (MathMy::AbsD(D) > kDegenerate) {
      GE = -(s.GL * ((Va - s.VL) * (Vb - s.VI) - (Vb - s.VL) * (Va - s.VI)) + s.I2 * (Va - s.VI)) / D;
      GI = (s.GL * ((Va - s.VL) * (Vb - s.VE) - (Vb - s.VL) * (Va - s.VE)) + s.I2 * (Va - s.VE)) / D;
    }
    marked.SplitGE[k] = GE;
    marked.SplitGI[k] = GI;
  }

  Series& GEs = EnsureSeries(charts.conductance, "GE", SeriesKind::Line, kRed);
  Series& GIs = EnsureSeries(charts.conductance, "GI", SeriesKind::Line, kBlue);
  GEs.Clear();
  GIs.Clear();
  std::string file;
  ForPlottedSamples(o, plotStep, [&](long k) {
    GEs.AddPoint(k * dt, marked.SplitGE[k]);
    GIs.AddPoint(k * dt, marked.SplitGI[k]);
    // The voltages as marked, at the same k: neither smoothed, shifted nor
    // corrected by Vdrop.
    for (const double x : {k * dt, marked.SplitGE[k], marked.SplitGI[k], marked.V1Mark[k]})
      file += Fixed(x, 8, 3) + ' ';
    file += Fixed(At(marked.V2Mark, k), 8, 3) + "\r\n";
  });
  const AxisLimits time = Range(charts.voltage, AxisSide::Bottom);
  charts.conductance.bottom.automatic = false;
  charts.conductance.bottom.min = time.min;
  charts.conductance.bottom.max = time.max;

  if (Status w = WriteFileAtomically(dir / "Varnel_GE_GI.dat", file); !w) return w.error();
  return o.kEnd - o.kStart + 1;
}

}  // namespace velmora
