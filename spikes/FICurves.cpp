#include "spikes/FICurves.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <variant>


namespace velmora {

namespace {

constexpr int kIsiSeries = 6;  // "ISI[0]" .. "ISI[5]"

Series& FISeries(Chart& chart, std::string_view title, Color color, AxisSide yAxis) {
  Series& s = EnsureSeries(chart, title, SeriesKind::Point, color, yAxis);
  s.linePenShown = true;  // points joined in the order added
  return s;
}

}  // namespace

double InverseInterval(double x) { return x >= 0.001 ? 1 / x : 0; }

TrainFI AnalyseTrain(SpikeList& spikes, double tOn, double& tOff, const FISettings& s) {
  int n = spikes.nSpikes;
  const std::vector<double>& tAP = spikes.tAP;
  const std::vector<double>& ISI = spikes.ISI;

  // tAP runs from the first analysed sample and is compared with L as it is.
  const double L = s.LimitInterval;  // ms
  if (tOff - tOn > L) {
    for (int k = 2; k <= n; ++k)
      if (tAP[k] * 1000 > L) {
        n = k - 1;
        break;
      }
    tOff = tOn + L;
  }
  const double T = tOff - tOn;  // ms

  TrainFI train;
  train.nTrain = n;
  if (s.CutTrain) {
    const double F = s.CutFactor;
    if (n >= 2 && tOff / 1000 - tAP[n] > F * ISI[n - 1]) train.nTrain = n - 1;  // a silent tail
    // The latency and the first two intervals are never the larger one.
    for (int k = 4; k <= train.nTrain; ++k)
      if (ISI[k] > F * ISI[k - 1]) {
        train.nTrain = k - 1;
        break;
      }
  }
  train.broken = train.nTrain != n;

  const int nMin = static_cast<int>(std::trunc(s.nuLastMinSpikes));
  // The count of all spikes over the time of the unbroken train's last one.
  if (train.nTrain > nMin && tAP[train.nTrain] > tOn / 1000) train.nuLast = n / (tAP[train.nTrain] - tOn / 1000);
  if (s.nuLastLastThird || s.nuLastLastTwoThirds) {
    // The spikes after the mark, per third of the stimulus. m starts at the
    // last spike, so that a train firing only after the mark gives 0 too.
    const double mark = s.nuLastLastTwoThirds ? T / 3 : 2 * T / 3;
    int m = n;
    for (int k = 2; k <= n; ++k)
      if (tAP[k] * 1000 - tOn < mark) m = k;
    const double perThird = T > 0 ? (n - m) / T * 1000 * 3 : 0;  // Hz; an empty window has no rate
    train.nuLast = s.nuLastLastTwoThirds ? perThird / 2 : perThird;
  }
  if (s.nuLastZeroOnBreak && train.broken) train.nuLast = 0;
  if (s.ZeroOnBreak && train.broken)
    for (int k = 1; k <= std::min(n, kMaxSpikes); ++k)
      spikes.Vav[k] = spikes.WidthAP[k] = spikes.Vpeak[k] = spikes.VAHP[k] = spikes.VT[k] = spikes.VAHPfast[k] = 0;
  spikes.nSpikes = n;
  return train;
}

namespace {

// Shades of red for the rates of the first intervals, two greens for the
// count and the late rate: the hues of the window's design, told apart.
constexpr Color kIsiColors[kIsiSeries] = {kRed, kDarkRed, {255, 99, 71}, {199, 21, 133}, {255, 160, 122}, {165, 42, 42}};
constexpr Color kNuLastColor = kLimeGreen;

}  // namespace

void PlotSweepFI(Chart& cur, Chart& con, const SpikeList& spikes, const FISweep& sweep) {
  cur.bottom.title = "I/G_L (mV)";
  con.bottom.title = "G/G_L";
  // The titles name the normalised quantities; the points are the clamp values as read.
  cur.bottom.unit = "pA";
  con.bottom.unit = "nS";
  for (Chart* c : {&cur, &con}) c->left.title = "Rate (Hz)", c->right.title = "N of spikes";
  // Created in the window's order even before the first point arrives.
  Series* isi[kIsiSeries];
  for (int k = 0; k < kIsiSeries; ++k)
    isi[k] = &FISeries(cur, fmt::format("ISI[{}]", k), kIsiColors[k], AxisSide::Left);
  Series& nCur = FISeries(cur, "N of spikes", kGreen, AxisSide::Right);
  Series& nuCur = FISeries(cur, "nu_Last", kNuLastColor, AxisSide::Left);
  Series& nCon = FISeries(con, "N of spikes", kGreen, AxisSide::Right);
  Series& nuCon = FISeries(con, "nu_Last", kNuLastColor, AxisSide::Left);
  if (sweep.nSpikes <= 0) return;
  // Intervals of spikes cut off by the interval limit are not plotted.
  for (int k = 1; k <= std::min(kIsiSeries, sweep.nSpikes); ++k)
    if (spikes.ISI[k] > 0) isi[k - 1]->AddPoint(sweep.Iclamp, InverseInterval(spikes.ISI[k]));
  nCur.AddPoint(sweep.Iclamp, sweep.nSpikes);
  nuCur.AddPoint(sweep.Iclamp, sweep.nuLast);
  nCon.AddPoint(sweep.Gclamp, sweep.nSpikes);
  nuCon.AddPoint(sweep.Gclamp, sweep.nuLast);
}

}  // namespace velmora
