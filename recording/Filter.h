#pragma once
// Zero-phase smoothing of the membrane voltage of a loaded sweep: a
// first-order low-pass run forward and then backward, so that spikes are not
// shifted in time.

#include "recording/Recording.h"
#include "base/WarningSink.h"

namespace velmora {

// A pass over the longest sweep takes a few milliseconds: 100 passes stay
// well under a second, and smooth far more than any analysis wants.
inline constexpr int kMaxFilterIterations = 100;

struct FilterSettings {
  bool on = true;       // "Filter"
  double tauF = 0.1;    // ms, "Filter scale"
  int iterations = 2;   // "Iterations": forward-backward passes
};

// Smooths slot.V[0..nLast] in place; the currents are never filtered. The
// callers decide whether to filter at all (`on`, and firing-clamp sweeps are
// never filtered), so `on` is not looked at here. `dt` in s.
//
// A slot without at least two samples (or with fewer samples in V than nLast
// claims) warns "Bad file! Turn off filtering and delete the file."; a time
// constant shorter than dt, or a dt <= 0 or not finite, warns "Bad filtering
// tauF or dt.". Either way the samples stay as they were. Fewer than one
// iteration changes nothing and says nothing; more than kMaxFilterIterations
// run that many, with a warning (a mistyped count would run for days).
void FilterVoltage(SweepSlot& slot, double dt, const FilterSettings& s, WarningSink& warnings);

}  // namespace velmora
