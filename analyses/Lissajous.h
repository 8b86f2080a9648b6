#pragma once
// Current against voltage (Lissajous figures), the phase plot dV/dt against
// V, and the instantaneous slope dI/dV while the voltage rises, inside a
// window of analysis of one loaded sweep.

#include "charts/Chart.h"
#include "firingclamp/FCRecord.h"
#include "recording/Recording.h"
#include "base/WarningSink.h"

namespace velmora {

// The fields of the "Lissajous" tab. Only samples with tStart < t < tEnd
// (t = s dt, in ms) are plotted; showing the tab sets the window to the
// sweep's tOn..tOff.
struct LissajousSettings {
  double tStart = 20;   // ms, "Start, ms"
  double tEnd = 20;     // ms, "End, ms"
  double tau_filt = 1;  // ms, "tau_filt, ms": smoothing of dI/dV; 0 = none
};

// "End, ms" after a change of "End, ms" or "tau_filt, ms": the window is at
// least 10 ms long.
double LissajousEnd(double tStart, double tEnd);

struct LissajousCharts {
  // "I vs. V", "Ireal vs. V", "Ireal-Meander vs. Vm" (right axis), "I vs. Vm"
  Chart current;
  Chart phase;  // "V-dVdt"
  Chart dIdV;   // "dI/dVm", "dIreal/dVm at PosPulse"
  bool dIdVShown = false;  // hidden until first drawn
};

// Both Lissajous charts from slot `slot` and the firing-clamp record `FC`.
// The series that come from `FC` stay empty when it does not cover the
// sweep (a sweep that is no firing-clamp recording has none).
void DrawLissajous(const Recording& rec, int slot, const FCRecord& FC, const LissajousSettings& settings,
                   LissajousCharts& charts);

// dI/dV = dIreal/dV of `FC` at every sample where V rose by more than
// 0.01 mV, low-pass filtered with tau_filt, against time; unfiltered at the
// samples of the positive meander pulse. Needs the firing-clamp record of
// the sweep: without one it warns and draws nothing.
void DrawDIdV(const Recording& rec, int slot, const FCRecord& FC, const LissajousSettings& settings,
              LissajousCharts& charts, WarningSink& warnings);

}  // namespace velmora
