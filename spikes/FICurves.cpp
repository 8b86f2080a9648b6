#include "spikes/FICurves.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <variant>

#include "spikes/Pipeline.h"
#include "spikes/ResultFiles.h"

namespace velmora {

namespace {

constexpr int kIsiSeries = 6;  // "ISI[0]" .. "ISI[5]"
constexpr int kTauMField = 57; // parameter-file field of tau_m

// tau_m of the current-step protocol, as its parameter file stores it; 0
// without one. The column formats have no parameter file: a tau_m left by
// an earlier main-format recording is not theirs.
double TauM(const RecordingParameters& par, FileFormat format) {
  if (format != FileFormat::Main) return 0;
  const auto it = par.stored.find(kTauMField);
  if (it == par.stored.end()) return 0;
  if (const double* x = std::get_if<double>(&it->second)) return *x;
  if (const long* n = std::get_if<long>(&it->second)) return static_cast<double>(*n);
  return 0;
}

Series& FISeries(Chart& chart, std::string_view title, Color color, AxisSide yAxis) {
  Series& s = EnsureSeries(chart, title, SeriesKind::Point, color, yAxis);
  s.linePenShown = true;  // points joined in the order added
  return s;
}

// A sweep whose detection did not run (firing clamp, SpikesOff) counts as
// one without spikes rather than as a repeat of the sweep scanned before.
void ClearSpikeList(SpikeList& spikes, double tOn) {
  spikes = SpikeList();
  spikes.tAP[0] = tOn / 1000;
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

void PlotSweepFI(Charts& charts, const SpikeList& spikes, const FISweep& sweep) {
  Chart& cur = charts.fiCurrent;
  Chart& con = charts.fiConductance;
  cur.bottom.title = "I/G_L (mV)";
  con.bottom.title = "G/G_L";
  for (Chart* c : {&cur, &con}) c->left.title = "Rate (Hz)", c->right.title = "N of spikes";
  // Created in the window's order even before the first point arrives.
  Series* isi[kIsiSeries];
  for (int k = 0; k < kIsiSeries; ++k) isi[k] = &FISeries(cur, fmt::format("ISI[{}]", k), kRed, AxisSide::Left);
  Series& nCur = FISeries(cur, "N of spikes", kGreen, AxisSide::Right);
  Series& nuCur = FISeries(cur, "nu_Last", kGreen, AxisSide::Left);
  Series& nCon = FISeries(con, "N of spikes", kGreen, AxisSide::Right);
  Series& nuCon = FISeries(con, "nu_Last", kGreen, AxisSide::Left);
  if (sweep.nSpikes <= 0) return;
  // Intervals of spikes cut off by the interval limit are not plotted.
  for (int k = 1; k <= std::min(kIsiSeries, sweep.nSpikes); ++k)
    if (spikes.ISI[k] > 0) isi[k - 1]->AddPoint(sweep.Iclamp, InverseInterval(spikes.ISI[k]));
  nCur.AddPoint(sweep.Iclamp, sweep.nSpikes);
  nuCur.AddPoint(sweep.Iclamp, sweep.nuLast);
  nCon.AddPoint(sweep.Gclamp, sweep.nSpikes);
  nuCon.AddPoint(sweep.Gclamp, sweep.nuLast);
}

Result<FIRun> FICurves(Session& session, Settings& settings, const std::filesystem::path& resultDir,
                       WarningSink& warnings) {
  FIRun run;
  Recording& rec = session.rec;
  if (Status s = ReadFormatHeaders(session, settings, warnings); !s) {
    run.stopped = s.error().What();
    return run;
  }
  if (rec.nFiles <= 0) {
    run.stopped = "no sweep is loaded";
    return run;
  }
  if (settings.fi.ToBeAbove > session.Bridge) {
    run.stopped = fmt::format("Bridge {} is below \"to be > \" {}", session.Bridge, settings.fi.ToBeAbove);
    return run;
  }
  if (Status s = PrepareResultFiles(resultDir, settings.fi.AppendOutput); !s) return s.error();
  FilterLoadedSweeps(session, settings);

  // nFiles is read anew each time: the old column format starts from 25 and
  // learns the real number of sweeps from the columns of the first read.
  for (int j = 1; j <= rec.nFiles; ++j) {
    warnings.Progress(j, rec.nFiles, fmt::format("F-I: sweep {} of {}", j, rec.nFiles));
    settings.Smpl = j;
    // One read, draw and detection per sweep: running them twice, as picking
    // the sweep and then analysing it would, leaves the same state.
    auto drawn = ReadAndDraw(session, settings, warnings);
    if (!drawn) {
      run.stopped = drawn.error().What();
      return run;
    }
    SpikeList& spikes = session.spikes;
    if (!drawn->spikesDetected) ClearSpikeList(spikes, rec.tOn);
    const TrainFI train = AnalyseTrain(spikes, rec.tOn, rec.tOff, settings.fi);
    const FISweep sweep{drawn->slot, session.gClamped, session.iClamped, spikes.nSpikes, train.nTrain, train.nuLast};
    PlotSweepFI(session.charts, spikes, sweep);
    const double tau_m = TauM(rec.par, settings.format);
    const SweepResults results{sweep.Gclamp, sweep.Iclamp, tau_m, rec.tOn, rec.tOff, sweep.nuLast};
    if (Status s = AppendSweepResults(resultDir, results, spikes); !s) return s.error();
    run.sweeps.push_back(sweep);
  }
  return run;
}

Result<FIRun> FICurvesOfSelection(Session& session, Settings& settings, const std::vector<int>& selected,
                                  const std::filesystem::path& resultDir, WarningSink& warnings) {
  if (Status s = LoadSelection(session, settings, selected, warnings); !s) return s.error();
  return FICurves(session, settings, resultDir, warnings);
}

}  // namespace velmora
