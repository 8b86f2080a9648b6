#pragma once
// Zero-phase smoothing of the membrane voltage of a loaded sweep: a
// first-order low-pass run forward and then backward, so that spikes are not
// shifted in time.

#include "recording/Recording.h"
#include "session/WarningSink.h"

namespace velmora {

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
// iteration changes nothing and says nothing. Notes in the slot what V went
// through (filteredTauF, filteredIterations).
void FilterVoltage(SweepSlot& slot, double dt, const FilterSettings& s, WarningSink& warnings);

// Whether V is the sweep as read, filtered with `s` (`on` aside) once.
bool FilteredAs(const SweepSlot& slot, const FilterSettings& s);

}  // namespace velmora
