#pragma once
// How far the firing-clamp estimates of a recording lie from what the model
// cell's clamp applied: each pulse against the mean of the applied I and G
// over the 20 Hz meander period that ends at it, which is what acted on the
// cell while the pulse's z values were formed. The regressions leave the
// first pulse without an estimate, so it is left out.

#include <algorithm>
#include <cmath>
#include <span>

#include "firingclamp/Pulses.h"

namespace velmora::testing {

struct PulseAccuracy {
  double rmsI = 0, rmsG = 0;      // pA, nS
  double rangeI = 0, rangeG = 0;  // pA, nS: of the applied I and G over the pulses compared
  int nCompared = 0;
  double relI() const { return rmsI / rangeI; }
  double relG() const { return rmsG / rangeG; }
};

// `I` and `G` are the applied command every `step` ms from time 0.
inline PulseAccuracy ComparePulsesWithApplied(const Pulses& p, std::span<const double> I, std::span<const double> G,
                                              double step) {
  PulseAccuracy a;
  const int period = static_cast<int>(std::lround(1000 / 20.0 / step));
  const int n = static_cast<int>(std::min(I.size(), G.size()));
  double Imin = 1e9, Imax = -1e9, Gmin = 1e9, Gmax = -1e9;
  for (int j = 2; j <= p.nPulses; ++j) {
    const int end = static_cast<int>(std::lround(p.tPulse[j] / step));
    if (end - period < 0 || end >= n) continue;
    double meanI = 0, meanG = 0;
    for (int k = end - period + 1; k <= end; ++k) meanI += I[k], meanG += G[k];
    meanI /= period, meanG /= period;
    a.rmsI += (p.Iest[j] - meanI) * (p.Iest[j] - meanI);
    a.rmsG += (p.Gest[j] - meanG) * (p.Gest[j] - meanG);
    Imin = std::min(Imin, meanI), Imax = std::max(Imax, meanI);
    Gmin = std::min(Gmin, meanG), Gmax = std::max(Gmax, meanG);
    ++a.nCompared;
  }
  if (a.nCompared == 0) return a;
  a.rmsI = std::sqrt(a.rmsI / a.nCompared), a.rmsG = std::sqrt(a.rmsG / a.nCompared);
  a.rangeI = Imax - Imin, a.rangeG = Gmax - Gmin;
  return a;
}

}  // namespace velmora::testing
