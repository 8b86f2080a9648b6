#include "analyses/ExtracelStim.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "recording/SideFiles.h"

namespace velmora {

namespace {

constexpr double kLowestLimit = 100;  // the threshold search gives up below this
constexpr double kLimitFactor = 1.2;
constexpr double kSearchWindow = 20;  // ms before a predicted stimulus

// |second difference| of the signal at samples 1..n-1; 0 at both ends,
// which have no neighbours on one side.
std::vector<double> AbsSecondDifference(std::span<const double> D) {
  std::vector<double> dd(D.size(), 0.0);
  for (std::size_t i = 1; i + 1 < D.size(); ++i) dd[i] = std::abs(D[i + 1] - 2 * D[i] + D[i - 1]);
  return dd;
}

// Each of these would keep the threshold search from ending or divide by zero.
Status CheckStimSettings(const StimSettings& s, double dt) {
  if (!(s.frequency > 0 && s.frequency <= 1000))
    return Error{"", 0, "Stimulation frequency, Hz",
                 fmt::format("{} is not a stimulation frequency (above 0, at most 1000 Hz)", s.frequency)};
  if (!std::isfinite(s.ddI_limit)) return Error{"", 0, "ddI_limit", fmt::format("{} is not a limit", s.ddI_limit)};
  if (!(dt > 0 && std::isfinite(dt))) return Error{"", 0, "", "no sampling step: load a recording first"};
  return Ok();
}

void ShowLimit(double L, WarningSink& warnings) { warnings.Status(fmt::format("ddI_limit = {:.2f}", L)); }

// Phase 1: the largest limit, going down, at which enough artefacts stand out.
void ThresholdSearch(const std::vector<double>& dd, double dt, const StimSettings& s, std::vector<double>& T,
                     WarningSink& warnings) {
  const double F = s.frequency;
  const double n = static_cast<double>(dd.size()) - 1;  // last sample
  const double expected = n * dt * F;                   // stimuli in the sweep
  double L = s.ddI_limit;
  for (;;) {
    T.clear();
    for (std::size_t i = 1; i + 1 < dd.size() && T.size() < kMaxStimuli; ++i)
      if (dd[i] > L) T.push_back(i * dt * 1000);
    ShowLimit(L, warnings);
    L = L / kLimitFactor;
    // A single detection has no second one that could lie too late.
    const bool secondInTime = T.size() < 2 || T[1] <= 2000 / F;
    if (L < kLowestLimit || (T.size() >= expected / 3 && secondInTime)) return;
  }
}

// Phase 2: an interval must fall short of a whole number k of nominal
// periods by less than 10 ms per period; the stimulator runs a little fast.
void RejectSpurious(double F, std::vector<double>& T) {
  const double Tn = 1000 / F;
  const long long period = static_cast<long long>(std::trunc(Tn));
  std::size_t i = 0;
  do {
    ++i;
    const double dT = T[i] - T[i - 1];
    const long long r = static_cast<long long>(std::trunc(dT)) % period;
    const double g = Tn - r;
    if (!(g >= 0 && 10 * dT * F / 1000 > g)) {
      T.erase(T.begin() + static_cast<long>(i));
      --i;  // the next entry is tested against the same predecessor
    }
  } while (i + 1 < T.size());
}

// The time of the largest |second difference| in the 20 ms before the
// predicted time c (ms), clipped to the sweep; the first maximum wins. A
// window where the signal is perfectly smooth keeps the prediction.
double ArtifactNear(double c, const std::vector<double>& dd, double dt) {
  const long lastInner = static_cast<long>(dd.size()) - 2;
  const long lo = std::max(1L, std::lround((c - kSearchWindow) / 1000 / dt));
  const long hi = std::min(lastInner, std::lround(c / 1000 / dt));
  double best = 0;
  long found = -1;
  for (long k = lo; k <= hi; ++k)
    if (dd[k] > best) best = dd[k], found = k;
  return found < 0 ? c : found * dt * 1000;
}

// Phase 3: every interval of m + 1 periods (less a little) gets m stimuli,
// each found near one nominal period after its predecessor; so does the
// stretch after the last stimulus up to the end of the sweep.
void FillMissed(const std::vector<double>& dd, double dt, double F, std::vector<double>& T) {
  const double Tn = 1000 / F;
  const double n = static_cast<double>(dd.size()) - 1;  // last sample
  const double sweepEnd = n * dt * 1000;                // ms
  const long expected = std::lround(n * dt * F);
  // 1-based positions, as the stimuli are counted.
  const auto at = [&](long k) { return T[k - 1]; };
  long i = 1;
  do {
    ++i;
    const long nStim = static_cast<long>(T.size());
    const double gap = i <= nStim ? at(i) - at(i - 1) : sweepEnd - at(i - 1);
    const long m = std::max(0L, static_cast<long>(std::trunc(gap * F / 1000)));
    for (long j = 1; j <= m; ++j) {
      if (T.size() == kMaxStimuli) return;
      const double c = Tn + at(i + j - 2);
      T.insert(T.begin() + (i + j - 2), ArtifactNear(c, dd, dt));
    }
    i += m;
    // Past the stretch after the last stimulus there is nothing left to read.
  } while (i < expected && i <= static_cast<long>(T.size()));
}

}  // namespace

DetectionSignal BuildDetectionSignal(const SweepSlot& sweep, double dt, Chart& stimChart) {
  const long n = std::min(static_cast<long>(sweep.nLast), static_cast<long>(sweep.Ireal.size()) - 1);
  DetectionSignal s;
  stimChart.bottom.title = "ms";
  stimChart.left.title = "pA";
  Series& Iextract = EnsureSeries(stimChart, "Iextract", SeriesKind::Line, kBlue);
  Iextract.Clear();
  if (n < 0) return s;
  const std::vector<double>& Ireal = sweep.Ireal;
  s.CurrentSmooth3.resize(n + 1);
  s.DetectSignal.resize(n + 1);
  s.CurrentSmooth3[0] = Ireal[0];
  s.CurrentSmooth3[n] = Ireal[n];
  for (long k = 1; k < n; ++k) s.CurrentSmooth3[k] = (Ireal[k - 1] + Ireal[k] + Ireal[k + 1]) / 3;
  Iextract.points.reserve(n + 1);
  for (long k = 0; k <= n; ++k) {
    s.DetectSignal[k] = Ireal[k] - s.CurrentSmooth3[k];
    Iextract.AddPoint(k * dt * 1000, s.DetectSignal[k]);
  }
  return s;
}

Status FindArtifactTimes(std::span<const double> DetectSignal, double dt, const StimSettings& settings,
                         std::vector<double>& StimTimes, Chart& stimChart, WarningSink& warnings) {
  if (Status s = CheckStimSettings(settings, dt); !s) return s;
  const std::vector<double> dd = AbsSecondDifference(DetectSignal);
  std::vector<double> T;
  ThresholdSearch(dd, dt, settings, T, warnings);
  if (T.size() >= 2) {
    RejectSpurious(settings.frequency, T);
    FillMissed(dd, dt, settings.frequency, T);
  }
  Series& stimuli = EnsureSeries(stimChart, "Stimuli", SeriesKind::Point, kMagenta);
  stimuli.Clear();
  for (const double t : T) stimuli.AddPoint(t, 0);
  ShowLimit(settings.ddI_limit, warnings);  // the field shows the starting limit again
  StimTimes = std::move(T);
  return Ok();
}

Status FindStimulationArtifacts(const Recording& rec, int slot, const StimSettings& settings,
                                std::vector<double>& StimTimes, Chart& stimChart,
                                const std::filesystem::path& stimFile, WarningSink& warnings) {
  if (Status s = CheckStimSettings(settings, rec.dt); !s) return s;
  const SweepSlot& sweep = rec.traces[slot];
  DetectionSignal signal = BuildDetectionSignal(sweep, rec.dt, stimChart);
  // A smoothed current of exactly 0 at sample 13 marks a current channel
  // that holds nothing but the artefacts: the raw current is searched.
  const std::size_t n = signal.DetectSignal.size();
  if (n > 13 && signal.CurrentSmooth3[13] == 0)
    signal.DetectSignal.assign(sweep.Ireal.begin(), sweep.Ireal.begin() + static_cast<long>(n));
  if (Status s = FindArtifactTimes(signal.DetectSignal, rec.dt, settings, StimTimes, stimChart, warnings); !s)
    return s;
  return WriteStimFile(stimFile, StimTimes);
}

}  // namespace velmora
