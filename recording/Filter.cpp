#include "recording/Filter.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace velmora {
namespace {

// x[i] := x[i-1] + a*(x[i] - x[i-1]) over x[1..N], then mirrored from x[N-1]
// down to x[0]. The running value stays in a register, so each sample is
// loaded and stored once; the serial dependence is the smoother itself.
void ForwardBackward(double* __restrict x, std::size_t N, double a) {
  double* const end = x + N;
  double prev = *x;
  for (double* p = x + 1; p <= end; ++p) {
    prev = prev + a * (*p - prev);
    *p = prev;
  }
  for (double* p = end; p != x;) {
    --p;
    prev = prev + a * (*p - prev);
    *p = prev;
  }
}

}  // namespace

void FilterVoltage(SweepSlot& slot, double dt, const FilterSettings& s, WarningSink& warnings) {
  if (slot.nLast <= 0 || slot.V.size() <= static_cast<std::size_t>(slot.nLast)) {
    warnings.Warn("Bad file! Turn off filtering and delete the file.");
    return;
  }
  const double tau = s.tauF / 1000;  // s, the unit of dt
  if (!std::isfinite(tau) || !std::isfinite(dt) || dt <= 0 || tau < dt) {
    warnings.Warn("Bad filtering tauF or dt.");
    return;
  }
  if (s.iterations < 1) return;
  const double a = dt / tau;  // 0 < a <= 1
  for (int n = 0; n < s.iterations; ++n)
    ForwardBackward(slot.V.data(), static_cast<std::size_t>(slot.nLast), a);
  // Passes with one time constant add up; after another one no setting describes V.
  const bool sameTau = slot.filteredIterations == 0 || slot.filteredTauF == s.tauF;
  slot.filteredTauF = sameTau ? s.tauF : std::numeric_limits<double>::quiet_NaN();
  slot.filteredIterations += s.iterations;
}

bool FilteredAs(const SweepSlot& slot, const FilterSettings& s) {
  return slot.filteredIterations > 0 && slot.filteredIterations == s.iterations && slot.filteredTauF == s.tauF;
}

}  // namespace velmora
