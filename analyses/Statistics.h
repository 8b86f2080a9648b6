#pragma once
// Statistics of the membrane voltage inside the stimulation window: running
// mean and spread, a histogram, and the normalised autocorrelation function
// with an estimate of the correlation time.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "charts/Chart.h"
#include "session/Session.h"
#include "base/WarningSink.h"

namespace velmora {

inline constexpr int kMaxCorrLags = 4000;  // samples

// The statistics window's fields, and the two main-window fields the pass reads.
struct StatisticsSettings {
  double upper = -50;     // mV, "Min and Max" (first field)
  double lower = -80;     // mV, "Min and Max" (second field)
  int n = 30;             // "n_intervals": bins drawn
  double nt_corr = 1000;  // samples, " nt_corr": largest lag; cut to kMaxCorrLags
  int nPointer = 40;      // samples between moves of the markers (main window "n_Pointer")
  int StatDrawStep = 1;   // redraw every 10 * StatDrawStep samples (main window "n_Draw")
};

struct StatHist {
  int n = 0;
  long HistTotal = 0;         // 0 before the first in-range sample, then 1 + in-range samples
  std::vector<long> counts;   // bins 0..n; bin n takes only x == upper and is never drawn
  double lower = 0, upper = 0;  // mV
};

// Everything a pass accumulates. The accumulators restart at iSample 0 and
// again at 1, so sample 0 of a pass counts only in the correlation.
struct StatisticsState {
  long iSample = 0;  // index of the current sample within the pass; set by the driver
  double dt = 0;     // s
  long StatCount = 0;
  double StatMean = 0, StatMeanSq = 0;  // mV, mV^2
  StatHist hist;
  int ntCorr = 0;  // largest lag, fixed at the restart of the pass
  long CorrN = 0;  // updates since the buffer filled
  std::vector<double> Corr;  // mV^2, lags 0..ntCorr: running mean of lagged products

  // The last ntCorr + 1 samples, held twice over (ring[k] == ring[k + ntCorr + 1])
  // so that, oldest first, they are contiguous from ring[ringStart].
  std::vector<double> ring;
  int ringStart = 0;
};

// CorrBuf[m], m = 0..ntCorr: the samples the lags are taken from, oldest first.
double CorrBuf(const StatisticsState& st, int m);

// One sample into moments, histogram and correlation (st.iSample set by the
// caller). True when the window is due for a redraw.
bool StatisticsAddSample(StatisticsState& st, double x, const StatisticsSettings& settings);

// Ignores x outside [lower, upper]. Equal or inverted limits, n < 1 or a NaN
// x count nothing, as no bin can be computed for them.
void AddToHistogram(int n, StatHist& hist, double x, double lower, double upper);

// Fills the buffer while st.iSample <= ntCorr, then moves every lag's running
// mean by one product. O(ntCorr) per sample.
void AddToCorrelation(StatisticsState& st, double x);

// The correlation time (s) from lags 0 and 2, once more than ntCorr + 20
// updates have been made; nothing when it is undefined (zero spread, a flat
// correlation, ntCorr < 2).
std::optional<double> StatisticsTau(const StatisticsState& st);

// "t=" and t (s) formatted 9:3, as a status text.
void ShowTime(double t, WarningSink& sink);

// What the statistics window shows.
struct StatisticsWindow {
  Chart histogram;    // title "Ghystogram of firing rate", bar series "Histogram"
  Chart correlation;  // title "Correlation function ", fast line "Correlation"
  std::string meanText = " Mean= ";
  std::string dispersionText = " Variance= ";
  std::string tauText = " tau= ";
};

// One redraw of the window from the state: texts, bars, correlation and tau.
// A drawing that would divide by zero is skipped with a warning.
void DrawStatistics(const StatisticsState& st, StatisticsWindow& window, WarningSink& warnings);

// Called at every redraw that falls due during a pass, for a display that
// animates; the pass itself draws only the last one.
using StatisticsProgress = std::function<void(const StatisticsState&)>;

// The pass over the voltage of `slot` inside the stimulation window
// (rec.tOn..rec.tOff). Moves the markers ("Pointer") of session.charts.voltage
// and .current every nPointer samples, reports the time (ShowTime) at every
// redraw due, and leaves `window` as the last redraw due in the pass shows
// it. Returns the state after the last sample.
StatisticsState AnalyzeStatistics(Session& session, int slot, const StatisticsSettings& settings,
                                  StatisticsWindow& window, WarningSink& warnings,
                                  const StatisticsProgress& progress = {});

}  // namespace velmora
