#include "analyses/Lissajous.h"

#include <algorithm>
#include <fmt/format.h>

#include "numeric/MathMy.h"

namespace velmora {

namespace {

constexpr double kLeastRise = 0.01;  // mV per sample: below it dI/dV is noise over nothing

// The last sample of the slot that both planes hold.
long LastSample(const SweepSlot& s) {
  return std::min({static_cast<long>(s.nLast), static_cast<long>(s.V.size()) - 1,
                   static_cast<long>(s.Ireal.size()) - 1});
}

template <class... V>
bool Covers(long last, const V&... v) {
  return ((static_cast<long>(v.size()) > last) && ...);
}

}  // namespace

double LissajousEnd(double tStart, double tEnd) { return MathMy::Max2(tStart + 10, tEnd); }

void DrawLissajous(const Recording& rec, int slot, const FCRecord& FC, const LissajousSettings& settings,
                   LissajousCharts& charts) {
  Chart& current = charts.current;
  current.bottom.title = "mV";
  current.left.title = current.right.title = "pA";
  Series& IV = EnsureSeries(current, "I vs. V", SeriesKind::Point, kBlack);
  Series& IrealV = EnsureSeries(current, "Ireal vs. V", SeriesKind::Point, kBlue);
  Series& MeanderVm = EnsureSeries(current, "Ireal-Meander vs. Vm", SeriesKind::Point, kGreen, AxisSide::Right);
  Series& IVm = EnsureSeries(current, "I vs. Vm", SeriesKind::Point, kRed);
  charts.phase.bottom.title = "mV";
  charts.phase.left.title = "mV/ms";
  Series& phase = EnsureSeries(charts.phase, "V-dVdt", SeriesKind::Point, kBlue);
  for (Series* s : {&IV, &IrealV, &MeanderVm, &IVm, &phase}) s->Clear();

  const SweepSlot& sw = rec.traces[slot];
  const long last = LastSample(sw);
  const bool withFC = Covers(last, FC.V, FC.Ireal, FC.Meander);
  const double dtMs = rec.dt * 1000;
  for (long s = 0; s <= last; ++s) {
    const double t = s * dtMs;
    if (!(settings.tStart < t && t < settings.tEnd)) continue;
    IV.AddPoint(sw.V[s], sw.Ireal[s]);
    if (withFC) {
      IrealV.AddPoint(sw.V[s], FC.Ireal[s]);
      MeanderVm.AddPoint(FC.V[s], FC.Ireal[s] - FC.Meander[s]);
      IVm.AddPoint(FC.V[s], FC.Ireal[s]);
    }
  }
  // From sample 1: sample 0 has no predecessor for the difference.
  for (long s = 1; s <= last; ++s) {
    const double t = s * dtMs;
    if (settings.tStart < t && t < settings.tEnd) phase.AddPoint(sw.V[s], (sw.V[s] - sw.V[s - 1]) / dtMs);
  }
}

void DrawDIdV(const Recording& rec, int slot, const FCRecord& FC, const LissajousSettings& settings,
              LissajousCharts& charts, WarningSink& warnings) {
  charts.dIdVShown = true;
  charts.dIdV.left.title = "nS";
  charts.dIdV.bottom.title = "ms";
  Series& filtered = EnsureSeries(charts.dIdV, "dI/dVm", SeriesKind::Line, kBlue);
  Series& atPulse = EnsureSeries(charts.dIdV, "dIreal/dVm at PosPulse", SeriesKind::Point, kRed);
  filtered.Clear();
  atPulse.Clear();

  const long last = rec.traces[slot].nLast;
  if (last < 1 || !Covers(last, FC.V, FC.Ireal, FC.State)) {
    warnings.Warn(fmt::format("dI/dV not drawn: no firing-clamp record covers sweep {}", slot));
    return;
  }
  const double dtMs = rec.dt * 1000;
  double y = 0;  // nS, the filter state
  for (long s = 1; s <= last; ++s) {
    const double t = s * dtMs;
    if (!(settings.tStart < t && t < settings.tEnd)) continue;
    const double dV = FC.V[s] - FC.V[s - 1];
    if (!(dV > kLeastRise)) continue;
    const double r = (FC.Ireal[s] - FC.Ireal[s - 1]) / dV;
    y = settings.tau_filt != 0 ? y + (dtMs / settings.tau_filt) * (r - y) : r;
    filtered.AddPoint(t, y);
    if (FC.State[s] == static_cast<std::int32_t>(MeanderState::PositivePulse)) atPulse.AddPoint(t, r);
  }
}

}  // namespace velmora
