#pragma once
// Zero-phase smoothing of the membrane voltage of a loaded sweep: a
// first-order low-pass run forward and then backward, so that spikes are not
// shifted in time.

#include <utility>
#include <vector>

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
// run that many, with a warning (a mistyped count would run for days). Notes
// in the slot what V went through (filteredTauF, filteredIterations).
void FilterVoltage(SweepSlot& slot, double dt, const FilterSettings& s, WarningSink& warnings);

// FilterVoltage on several sweeps, each (slot, dt in s) with its own dt: V
// comes out the same to the bit as filtered one by one, in a fraction of the
// time, since the smoother of one sweep waits on every sample and those of
// several run side by side. A sweep the filter cannot run on is left as it
// is, unmarked and without a word, for FilterVoltage to report.
void FilterVoltages(const std::vector<std::pair<SweepSlot*, double>>& sweeps, const FilterSettings& s);

// Whether V is the sweep as read, filtered with `s` (`on` aside) once.
bool FilteredAs(const SweepSlot& slot, const FilterSettings& s);

}  // namespace velmora
