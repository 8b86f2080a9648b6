#include "firingclamp/Averaging.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "firingclamp/EstimateFC.h"
#include "firingclamp/Pulses.h"

namespace velmora {

Averages AverageEstimates(const Pulses& p, double t0, double dt_av, EstimationCharts& charts,
                          WarningSink& warnings) {
  Series& meanI = EnsureSeries(charts.current, "mean_Estim_I", SeriesKind::Point);
  Series& meanG = EnsureSeries(charts.conductance, "mean_Estim_G", SeriesKind::Point);
  Series& meanZ1 = EnsureSeries(charts.z, "mean z1", SeriesKind::Point);
  Series& meanZ2 = EnsureSeries(charts.z, "mean z2", SeriesKind::Point, kBlack, AxisSide::Right);
  for (Series* s : {&meanI, &meanG, &meanZ1, &meanZ2}) s->Clear();

  Averages av;
  if (!(dt_av > 0) || !std::isfinite(dt_av)) {
    warnings.Warn(fmt::format("The estimates are not averaged: \"dt_av ,ms=\" must be above 0 ms (it is {})", dt_av));
    return av;
  }
  const double origin = 1000 * t0;  // ms
  std::vector<int> bin(static_cast<std::size_t>(p.nPulses) + 1, -1);
  int outside = 0;
  for (int j = 1; j <= p.nPulses; ++j) {
    const double b = std::nearbyint((p.tPulse[j] - origin) / dt_av);  // ties to the even bin
    if (b >= 0 && b <= kMaxAverageBin) {
      bin[j] = static_cast<int>(b);
      av.nBins = std::max(av.nBins, bin[j]);
    } else {
      ++outside;
    }
  }
  const auto bins = static_cast<std::size_t>(av.nBins + 1);
  for (std::vector<double>* mean : {&av.MeanIest, &av.MeanGest, &av.MeanZ1, &av.MeanZ2}) mean->assign(bins, 0.0);
  av.count.assign(bins, 0);
  for (int j = 1; j <= p.nPulses; ++j) {
    if (bin[j] < 0) continue;
    const int n = ++av.count[bin[j]];
    const auto runningMean = [&](std::vector<double>& mean, double value) {
      mean[bin[j]] = ((n - 1) * mean[bin[j]] + value) / n;
    };
    runningMean(av.MeanIest, p.Iest[j]);
    runningMean(av.MeanGest, p.Gest[j]);
    runningMean(av.MeanZ1, p.z1[j]);
    runningMean(av.MeanZ2, p.z2[j]);
  }
  // A bin without pulses has no mean to show.
  for (int b = 0; b <= av.nBins; ++b) {
    if (av.count[b] == 0) continue;
    const double x = b * dt_av + origin;
    meanI.AddPoint(x, av.MeanIest[b]);
    meanG.AddPoint(x, av.MeanGest[b]);
    meanZ2.AddPoint(x, av.MeanZ2[b]);
    meanZ1.AddPoint(x, av.MeanZ1[b]);
  }
  if (outside > 0)
    warnings.Warn(fmt::format("{} of {} pulses lie outside the averaging bins 0..{} ({} ms to {} ms at \"dt_av ,ms=\" "
                              "{}) and are not averaged",
                              outside, p.nPulses, kMaxAverageBin, origin - dt_av / 2,
                              origin + (kMaxAverageBin + 0.5) * dt_av, dt_av));
  return av;
}

Result<Averages> AverageFromFile(const std::filesystem::path& dir, double t0, const EstimationsWindowSettings& settings,
                                 ApproxKind kind, double Vus, Pulses& p, EstimationCharts& charts,
                                 WarningSink& warnings) {
  // The file's times are shown as written, without a second alignment.
  if (Status read = ReadEstimates(dir, nullptr, p); !read) {
    warnings.Warn(read.error().What());
    return read.error();
  }
  DrawEstimates(p, settings, kind, Vus, nullptr, charts);
  return AverageEstimates(p, t0, settings.dt_av, charts, warnings);
}

}  // namespace velmora
