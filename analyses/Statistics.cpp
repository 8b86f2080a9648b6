#include "analyses/Statistics.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "recording/TextIO.h"

namespace velmora {

namespace {

constexpr const char* kMarker = "Pointer";

// Every lag gets the same operations in the same order as the one-lag
// formula, so the vector lanes give the very bits of a scalar loop; the
// clones let one binary use the widest vectors of the machine it runs on
// (about four times the speed of the baseline's two lanes). Clones need
// ifunc support, which ELF platforms have. ThreadSanitizer is not up yet when
// the loader calls their resolver, which its instrumentation then crashes.
#if defined(__x86_64__) && defined(__ELF__) && !defined(__SANITIZE_THREAD__)
[[gnu::target_clones("avx512f", "avx2", "default")]]
#endif
void UpdateLags(double* __restrict corr, const double* __restrict buf, int count, long CorrN) {
  const double before = static_cast<double>(CorrN - 1);
  const double now = static_cast<double>(CorrN);
  const double oldest = buf[0];
  for (int m = 0; m < count; ++m) corr[m] = (before * corr[m] + oldest * buf[m]) / now;
}

int LagsFromSetting(double nt_corr) {
  if (std::isnan(nt_corr)) return 0;
  return static_cast<int>(std::clamp(std::trunc(nt_corr), 0.0, double{kMaxCorrLags}));
}

void SetUpWindow(StatisticsWindow& w) {
  w.histogram.title = "Ghystogram of firing rate";
  w.histogram.bottom.title = "Hz";
  EnsureSeries(w.histogram, "Histogram", SeriesKind::Bar, kBlue);
  w.correlation.title = "Correlation function ";
  w.correlation.bottom.title = "tau, ms";
  w.correlation.top.title = "tau, ms";
  w.correlation.left.automatic = false;
  w.correlation.left.min = -0.2;
  w.correlation.left.max = 1.2;
  EnsureSeries(w.correlation, "Correlation", SeriesKind::FastLine, kRed);
}

void MoveMarker(Series& marker, double x, double y) {
  if (!marker.points.empty()) marker.points.pop_back();
  marker.AddPoint(x, y);
}

}  // namespace

double CorrBuf(const StatisticsState& st, int m) { return st.ring[st.ringStart + m]; }

void AddToHistogram(int n, StatHist& hist, double x, double lower, double upper) {
  hist.n = n;
  hist.lower = lower;
  hist.upper = upper;
  if (n < 1 || !(lower < upper) || !(x >= lower && x <= upper)) return;
  if (hist.counts.size() < static_cast<std::size_t>(n) + 1) hist.counts.resize(n + 1);
  if (hist.HistTotal == 0) {
    std::fill(hist.counts.begin(), hist.counts.begin() + n, 0);
    hist.HistTotal = 1;
  }
  // x == upper lands in bin n, and rounding can put x just below upper
  // there too; never further, as (x - lower) <= (upper - lower).
  const int bin = static_cast<int>((x - lower) / (upper - lower) * n);
  hist.counts[bin] += 1;
  hist.HistTotal += 1;
}

void AddToCorrelation(StatisticsState& st, double x) {
  const int L = st.ntCorr + 1;
  if (st.iSample == 0 || st.ring.size() != 2u * L) {
    st.ring.assign(2u * L, 0.0);
    st.Corr.assign(L, 0.0);
    st.ringStart = 0;
  }
  if (st.iSample <= st.ntCorr) {
    st.ring[st.iSample] = st.ring[st.iSample + L] = x;
    st.Corr[st.iSample] = 0;
    st.CorrN = 0;
    return;
  }
  st.CorrN += 1;
  // The oldest sample leaves; x takes its place, which is the newest end of
  // the window once the start moves on by one.
  st.ring[st.ringStart] = st.ring[st.ringStart + L] = x;
  st.ringStart = st.ringStart + 1 == L ? 0 : st.ringStart + 1;
  UpdateLags(st.Corr.data(), st.ring.data() + st.ringStart, L, st.CorrN);
}

bool StatisticsAddSample(StatisticsState& st, double x, const StatisticsSettings& settings) {
  if (st.iSample < 2) {
    st.StatCount = 0;
    st.StatMean = st.StatMeanSq = 0;
    st.hist.HistTotal = 0;
    std::fill(st.hist.counts.begin(), st.hist.counts.end(), 0);
  }
  if (st.iSample == 0) st.ntCorr = LagsFromSetting(settings.nt_corr);
  st.StatCount += 1;
  st.StatMean = st.StatMean + (x - st.StatMean) / st.StatCount;
  st.StatMeanSq = st.StatMeanSq + (x * x - st.StatMeanSq) / st.StatCount;
  AddToHistogram(settings.n, st.hist, x, settings.lower, settings.upper);
  AddToCorrelation(st, x);
  return st.iSample % (10L * std::max(1, settings.StatDrawStep)) == 0;
}

std::optional<double> StatisticsTau(const StatisticsState& st) {
  if (st.ntCorr < 2 || !(st.ntCorr + 20 < st.CorrN) || !(st.Corr[0] > 0)) return std::nullopt;
  const double mean2 = st.StatMean * st.StatMean;
  const double c0 = st.Corr[0] - mean2;
  if (c0 == 0) return std::nullopt;
  const double flat = 1 - (st.Corr[2] - mean2) / c0;
  if (flat == 0) return std::nullopt;
  return 2 * st.dt / flat;
}

void ShowTime(double t, WarningSink& sink) { sink.Status("t=" + Fixed(t, 9, 3)); }

void DrawStatistics(const StatisticsState& st, StatisticsWindow& window, WarningSink& warnings) {
  SetUpWindow(window);
  const double variance = st.StatMeanSq - st.StatMean * st.StatMean;
  window.meanText = " Mean = " + Fixed(st.StatMean, 9, 2);
  // Rounding can leave a constant signal's variance a hair below zero.
  window.dispersionText = " Dispersion = " + Fixed(std::sqrt(std::max(0.0, variance)), 9, 2);

  const StatHist& h = st.hist;
  if (h.HistTotal > 0) {
    Series& bars = *FindSeries(window.histogram, "Histogram");
    bars.Clear();
    const double width = (h.upper - h.lower) / h.n;
    for (int j = 1; j <= h.n; ++j)
      bars.AddPoint(h.lower + width * (j - 1), static_cast<double>(h.counts[j - 1]) / h.HistTotal);
  } else if (h.n < 1) {
    warnings.Warn(fmt::format("Histogram not drawn: n_intervals is {}, below 1", h.n));
  } else if (!(h.lower < h.upper)) {
    warnings.Warn(fmt::format("Histogram not drawn: the lower limit ({} mV) is not below the upper limit ({} mV)",
                              h.lower, h.upper));
  }

  Series& corr = *FindSeries(window.correlation, "Correlation");
  corr.Clear();
  if (!(variance > 0)) {
    warnings.Warn("Correlation function and tau not drawn: the voltage has zero spread");
    return;
  }
  const double mean2 = st.StatMean * st.StatMean;
  for (int m = 0; m < static_cast<int>(st.Corr.size()); ++m)
    corr.AddPoint(m * st.dt * 1000, (st.Corr[m] - mean2) / variance);
  if (const auto tau = StatisticsTau(st)) window.tauText = " tau = " + Fixed(*tau, 9, 2);
}

StatisticsState AnalyzeStatistics(const Recording& rec, int slot, Chart& voltage, Chart& current,
                                  const StatisticsSettings& settings, StatisticsWindow& window, WarningSink& warnings,
                                  const StatisticsProgress& progress) {
  const SweepSlot& sweep = rec.traces[slot];
  // Red is taken by the spikes and by the measured current.
  Series& vMarker = EnsureSeries(voltage, kMarker, SeriesKind::Point, kBrown);
  Series& iMarker = EnsureSeries(current, kMarker, SeriesKind::Point, kBrown);
  vMarker.Clear();
  iMarker.Clear();
  vMarker.AddPoint(0, 0);
  iMarker.AddPoint(0, 0);
  SetUpWindow(window);
  ClearAllSeries(window.histogram);
  ClearAllSeries(window.correlation);
  window.tauText = " tau= ";  // a tau of the previous pass must not stand beside this one's mean

  StatisticsState st;
  st.dt = rec.dt;
  if (!(rec.dt > 0)) {
    warnings.Warn("Statistics: no sampling step; load a recording first");
    return st;
  }
  // Sample indices are counted in doubles first: a wild tOn must not overflow.
  const double nLast = std::min({double(sweep.nLast), double(sweep.V.size()) - 1, double(sweep.Ireal.size()) - 1});
  const double first = std::max(0.0, std::trunc(rec.tOn / 1000 / rec.dt) + 1);
  const double last = std::min(std::trunc(rec.tOff / 1000 / rec.dt), nLast);
  if (!(first <= last)) {
    warnings.Warn(fmt::format("Statistics: no sample of sweep {} inside the stimulation window {} .. {} ms", slot,
                              rec.tOn, rec.tOff));
    return st;
  }
  const long iStart = static_cast<long>(first), iEnd = static_cast<long>(last);
  const long redrawEvery = 10L * std::max(1, settings.StatDrawStep);
  const long lastRedraw = (iEnd - iStart) / redrawEvery * redrawEvery;
  const long pointer = std::max(1, settings.nPointer);
  for (long s = iStart; s <= iEnd; ++s) {
    st.iSample = s - iStart;
    if (StatisticsAddSample(st, sweep.V[s], settings)) {
      ShowTime(st.iSample * rec.dt, warnings);
      if (progress) progress(st);
      if (st.iSample == lastRedraw) DrawStatistics(st, window, warnings);
    }
    if (s % pointer == 0) {
      // At the sample's place on the drawn traces, which start at t0.
      const double x = (s * rec.dt + rec.t0) * 1000;
      MoveMarker(iMarker, x, sweep.Ireal[s]);
      MoveMarker(vMarker, x, sweep.V[s]);
    }
  }
  return st;
}

}  // namespace velmora
