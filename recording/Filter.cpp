#include "recording/Filter.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string_view>

namespace velmora {
namespace {

// x[i] := x[i-1] + a*(x[i] - x[i-1]) over x[1..N], then mirrored from x[N-1]
// down to x[0], on K sweeps side by side, each exactly as alone: the running
// value of one sweep waits on its previous sample, and the processor works
// on the others meanwhile. Lengths may differ: the forward pass runs
// together over the samples all have, then each sweep alone; the backward
// pass first each alone down to that common length, then together.
template <int K>
void ForwardBackward(double* const* sweeps, const std::size_t* lengths, const double* coefficients) {
  double* x[K];
  std::size_t N[K];
  double a[K], prev[K];
  std::size_t common = lengths[0];
  for (int k = 0; k < K; ++k) {
    x[k] = sweeps[k], N[k] = lengths[k], a[k] = coefficients[k];
    prev[k] = x[k][0];
    common = std::min(common, N[k]);
  }
  const auto step = [&](int k, std::size_t i) {
    prev[k] = prev[k] + a[k] * (x[k][i] - prev[k]);
    x[k][i] = prev[k];
  };
  for (std::size_t i = 1; i <= common; ++i)
    for (int k = 0; k < K; ++k) step(k, i);
  for (int k = 0; k < K; ++k)
    for (std::size_t i = common + 1; i <= N[k]; ++i) step(k, i);
  for (int k = 0; k < K; ++k)
    for (std::size_t i = N[k]; i-- > common;) step(k, i);
  for (std::size_t i = common; i-- > 0;)
    for (int k = 0; k < K; ++k) step(k, i);
}

constexpr std::string_view kBadFile = "Bad file! Turn off filtering and delete the file.";
constexpr std::string_view kBadTau = "Bad filtering tauF or dt.";

// What keeps the filter from running on the slot; empty when it can.
std::string_view Refusal(const SweepSlot& slot, double dt, const FilterSettings& s) {
  if (slot.nLast <= 0 || slot.V.size() <= static_cast<std::size_t>(slot.nLast)) return kBadFile;
  const double tau = s.tauF / 1000;  // s, the unit of dt
  if (!std::isfinite(tau) || !std::isfinite(dt) || dt <= 0 || tau < dt) return kBadTau;
  return {};
}

double Coefficient(double dt, const FilterSettings& s) { return dt / (s.tauF / 1000); }  // 0 < a <= 1

void NoteFiltered(SweepSlot& slot, const FilterSettings& s) {
  // Passes with one time constant add up; after another one no setting describes V.
  const bool sameTau = slot.filteredIterations == 0 || slot.filteredTauF == s.tauF;
  slot.filteredTauF = sameTau ? s.tauF : std::numeric_limits<double>::quiet_NaN();
  slot.filteredIterations += s.iterations;
}

}  // namespace

void FilterVoltage(SweepSlot& slot, double dt, const FilterSettings& s, WarningSink& warnings) {
  if (const std::string_view refusal = Refusal(slot, dt, s); !refusal.empty()) {
    warnings.Warn(refusal);
    return;
  }
  if (s.iterations < 1) return;
  int iterations = s.iterations;
  if (iterations > kMaxFilterIterations) {
    warnings.Warn(fmt::format("Filtering: Iterations {} is above {}; {} passes are run", iterations,
                              kMaxFilterIterations, kMaxFilterIterations));
    iterations = kMaxFilterIterations;
  }
  double* const x = slot.V.data();
  const std::size_t N = static_cast<std::size_t>(slot.nLast);
  const double a = Coefficient(dt, s);
  for (int n = 0; n < iterations; ++n) ForwardBackward<1>(&x, &N, &a);
  NoteFiltered(slot, s);
}

void FilterVoltages(const std::vector<std::pair<SweepSlot*, double>>& sweeps, const FilterSettings& s) {
  // Too many iterations are FilterVoltage's to cap and report.
  if (s.iterations < 1 || s.iterations > kMaxFilterIterations) return;
  std::vector<double*> x;
  std::vector<std::size_t> N;
  std::vector<double> a;
  std::vector<SweepSlot*> filtered;
  for (const auto& [slot, dt] : sweeps) {
    if (!Refusal(*slot, dt, s).empty()) continue;
    x.push_back(slot->V.data());
    N.push_back(static_cast<std::size_t>(slot->nLast));
    a.push_back(Coefficient(dt, s));
    filtered.push_back(slot);
  }
  // A step of up to eight sweeps side by side takes about as long as one of
  // a single sweep: as few groups as that allows, of sizes as even as can be.
  constexpr std::size_t kSideBySide = 8;
  const std::size_t groups = (x.size() + kSideBySide - 1) / kSideBySide;
  for (std::size_t g = 0, first = 0; g < groups; ++g) {
    const std::size_t count = (x.size() - first) / (groups - g);
    const auto run = [&](auto pass) {
      for (int n = 0; n < s.iterations; ++n) pass(&x[first], &N[first], &a[first]);
    };
    switch (count) {
      case 1: run(ForwardBackward<1>); break;
      case 2: run(ForwardBackward<2>); break;
      case 3: run(ForwardBackward<3>); break;
      case 4: run(ForwardBackward<4>); break;
      case 5: run(ForwardBackward<5>); break;
      case 6: run(ForwardBackward<6>); break;
      case 7: run(ForwardBackward<7>); break;
      default: run(ForwardBackward<kSideBySide>); break;
    }
    first += count;
  }
  for (SweepSlot* slot : filtered) NoteFiltered(*slot, s);
}

bool FilteredAs(const SweepSlot& slot, const FilterSettings& s) {
  return slot.filteredIterations > 0 && slot.filteredIterations == s.iterations && slot.filteredTauF == s.tauF;
}

}  // namespace velmora
