#include "spikes/Spikes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "recording/SideFiles.h"
#include "numeric/MathMy.h"

namespace velmora {

namespace {

using MathMy::AbsD;

constexpr double kNoDetection = -888;     // s, tLast before the first detection
constexpr double kRefractory = 0.001;     // s
constexpr double kThresholdSpan = 0.008;  // s searched back from a detection
constexpr double kQuietV = -15;           // mV; quiet samples lie below
constexpr double kQuietAfter = 0.002;     // s after a detection
constexpr double kQuietSlope = 5;         // mV/ms
constexpr double kSamplesFar = 1e9;       // beyond any sweep, yet safe to add to in int

// A time over dt as a sample count, truncated toward zero. Saturated, so that
// a dt of 0 or an absurd time from a file cannot overflow the conversion.
int TruncSamples(double samples) {
  if (std::isnan(samples)) return 0;
  return static_cast<int>(std::clamp(std::trunc(samples), -kSamplesFar, kSamplesFar));
}

// The last sample the slot really holds: nLast, unless V is shorter.
int LastSample(const SweepSlot& sweep) {
  return std::min(sweep.nLast, static_cast<int>(sweep.V.size()) - 1);
}

// The samples from a detection (or from the start) to the next detection: their
// quiet samples are averaged into one entry of Vav.
struct QuietRun {
  int first = 1, last = 0;  // sample indices
  double tLast = 0;         // s, time of the detection before `first`
};

// The quiet test |V - V1| / dt / 1000 < 5 mV/ms without a division per sample:
// the quotient never decreases as |V - V1| grows, so the test holds exactly
// below the least difference that fails it, found once by bisection over the
// bit patterns of the non-negative doubles (ordered as the values are).
double QuietStepLimit(double dt) {
  const auto quiet = [dt](double dV) { return AbsD(dV / dt / 1000) < kQuietSlope; };
  if (!quiet(0.0)) return 0;  // dt of 0 or NaN: no sample is quiet
  std::uint64_t lo = 0, hi = std::bit_cast<std::uint64_t>(std::numeric_limits<double>::infinity());
  while (hi - lo > 1) {
    const std::uint64_t mid = lo + (hi - lo) / 2;
    (quiet(std::bit_cast<double>(mid)) ? lo : hi) = mid;
  }
  return std::bit_cast<double>(hi);
}

// Vav[k] = the running mean of the quiet samples of runs[k], started from the
// value Vav[k] holds (0 after a detection). Each mean keeps its own order of
// rounding; several runs advance side by side only so that their divisions,
// each of which would otherwise wait for the one before, overlap.
void AverageQuietSamples(SpikeList& spikes, const std::vector<double>& V, const std::vector<QuietRun>& runs,
                         double dt, double t0) {
  // The time tests below are made once per run, which needs t to grow with i.
  if (!(dt > 0)) return;
  const double limit = QuietStepLimit(dt);
  struct Lane {
    int k = 0;
    QuietRun run;
    double vav = 0;
    double m = 0;  // a count; whole numbers are exact in a double
  };
  constexpr int kLanes = 8;
  const int nRuns = static_cast<int>(runs.size());
  for (int k0 = 0; k0 < nRuns; k0 += kLanes) {
    std::array<Lane, kLanes> lanes{};
    int longest = 0;
    for (int l = 0; l < kLanes && k0 + l < nRuns; ++l) {
      Lane& lane = lanes[l];
      lane = {k0 + l, runs[k0 + l], spikes.Vav[k0 + l], 0};
      // Quiet samples lie more than 2 ms after the detection.
      const auto settled = [&](int i) {
        const double t = i * dt + t0;
        return t - lane.run.tLast > 0 && t - lane.run.tLast > kQuietAfter;
      };
      while (lane.run.first <= lane.run.last && !settled(lane.run.first)) ++lane.run.first;
      longest = std::max(longest, lane.run.last - lane.run.first + 1);
    }
    for (int s = 0; s < longest; ++s) {
      for (Lane& lane : lanes) {
        const int i = lane.run.first + s;
        if (i > lane.run.last) continue;
        const double dV = V[i] - V[i - 1];
        const bool quiet = (V[i] < kQuietV) & (-limit < dV) & (dV < limit);  // AbsD(dV) < limit
        // Computed for every sample and kept for the quiet ones: a branch on
        // the noisy quiet test would often be mispredicted and discard the
        // divisions in flight.
        const double m = lane.m + 1;
        const double mean = ((m - 1) * lane.vav + V[i]) / m;
        lane.m = quiet ? m : lane.m;
        lane.vav = quiet ? mean : lane.vav;
      }
    }
    for (const Lane& lane : lanes)
      if (lane.m > 0) spikes.Vav[lane.k] = lane.vav;
  }
}

}  // namespace

SpikeList::SpikeList()
    : tAP(kMaxSpikes + 1), ISI(kMaxSpikes + 1), VT(kMaxSpikes + 1), tVT(kMaxSpikes + 1), Vpeak(kMaxSpikes + 1),
      WidthAP(kMaxSpikes + 1), VAHP(kMaxSpikes + 1), VAHPfast(kMaxSpikes + 1), Vav(kMaxSpikes + 1) {}

void SpikeStep(const SpikeCriteriaRec& criteria, double dt, double& tLast, SpikeState& state, double V2,
               double V1, double V, double t) {
  if (state == SpikeState::Detected || t < tLast + kRefractory) state = SpikeState::Idle;
  if (state != SpikeState::Rising && V < criteria.V_min) state = SpikeState::Armed;
  if ((state == SpikeState::Rising || state == SpikeState::Armed) && V > criteria.V_min) {
    // The smaller of the central and the backward difference, mV/ms.
    const double D = MathMy::Min2((V - V2) / (2 * dt), (V - V1) / dt) / 1000;
    if (D > criteria.dVdt_min) {
      state = SpikeState::Rising;
    } else if (state == SpikeState::Rising && (V - 2 * V1 + V2) / (dt * dt) / 1e6 < -criteria.d2Vdt2_min) {
      state = SpikeState::Detected;
      tLast = t;
    }
  }
}

SweepSignal SignalOf(const Recording& rec, int slot) {
  return {rec.traces[slot], rec.dt, rec.t0, rec.tOn, rec.tOff,
          rec.par.FiringClampOn != 1 && rec.par.SpikesOff != 1};
}

SweepSignal SignalOf(const SweepSlot& sweep, const SweepReading& reading) {
  return {sweep, reading.dt, reading.t0, reading.tOn, reading.tOff,
          reading.par.FiringClampOn != 1 && reading.par.SpikesOff != 1};
}

Threshold FindThreshold(const SweepSignal& signal, int i, double ThresholdScale) {
  const std::vector<double>& V = signal.sweep.V;
  const int last = LastSample(signal.sweep);
  const double dt = signal.dt;
  const double h = dt * 1000;  // ms
  const int w = TruncSamples(kThresholdSpan / dt);
  const double S = ThresholdScale;
  // The second difference at sample 0 would need sample -1, so the search
  // begins at sample 1 at the earliest; a start past the data (a stimulus
  // start near the end) is held at the last sample, where no pass is made.
  const int start = std::max(1, std::min(MathMy::MaxInt2(TruncSamples(signal.tOn / 1000 / dt) + 5, i - w), last));
  // V[m + 1] is read: at the last sample of the slot the pass stops one sample earlier.
  const int mEnd = std::min(i, last - 1);

  int mstar = start;
  if (start <= mEnd) {
    double d1 = (V[start + 1] - V[start]) / h;
    double d2 = (V[start + 1] - 2 * V[start] + V[start - 1]) / (h * h);
    double Kmax = 0;
    for (int m = start; m <= mEnd; ++m) {
      d2 = d2 + (h / 0.1) * ((V[m + 1] - 2 * V[m] + V[m - 1]) / (h * h) - d2);  // 0.1 ms smoothing
      d1 = d1 + (h / 0.5) * ((V[m + 1] - V[m]) / h - d1);                      // 0.5 ms smoothing
      // K can exceed Kmax (never below 0) only where d2 > 0: elsewhere the
      // power, the costliest step of the search, is not needed. Nor is it
      // where x * sqrt(x), which the power (exp of a log) cannot fall below
      // by anything near 1e-9 of it, already keeps K from exceeding Kmax.
      if (!(d1 > 1e-6 && d2 > 0)) continue;
      const double x = d1 * d1 + S * S;
      if (d2 <= Kmax * (x * std::sqrt(x)) * (1 - 1e-9)) continue;
      const double K = d2 / MathMy::PowerXY(x, 1.5);
      if (K > Kmax) {
        Kmax = K;
        mstar = m;
      }
    }
  }
  return {V[mstar - 1], (mstar - 1) * dt, mstar - 1};
}

void MeasureSpike(SpikeList& spikes, int k, const SweepSignal& signal, int iVT, const SpikeSettings& settings) {
  const SweepSlot& sweep = signal.sweep;
  const std::vector<double>& V = sweep.V;
  const int last = LastSample(sweep);
  if (iVT < 0 || iVT >= last) return;
  const double dt = signal.dt;
  const int i0 = iVT;
  const int W = TruncSamples(settings.SpikeCriteria.TimeWindow / dt);

  // Peak: the window ends at TimeWindow, at the stimulus end, at the upstroke
  // of the next spike (which a state machine of its own finds), or at the last
  // sample of the slot.
  const double Vbase = V[i0];
  double Vmax = V[i0];
  double tmax = i0 * dt;
  bool found = false;
  double tLast = kNoDetection;
  SpikeState state = SpikeState::Rising;
  const double tOff = signal.tOff / 1000;  // s; divided once, not at every sample
  int b = i0;
  while (true) {
    ++b;
    const double tb = b * dt;
    if (V[b] > Vmax) {
      Vmax = V[b];
      tmax = tb;
    }
    // A threshold at sample 0 has no sample before it: sample 0 stands in.
    SpikeStep(settings.SpikeCriteria, dt, tLast, state, V[std::max(b - 2, 0)], V[b - 1], V[b], tb);
    if (state == SpikeState::Detected) found = true;
    if (b == i0 + W || (state == SpikeState::Rising && found) || tb > tOff || b == last) break;
  }
  const int L = b - i0;
  spikes.Vpeak[k] = Vmax;
  spikes.tAP[k] = tmax;

  // Half-width. The crossing is tested between b and b + 1, but placed on
  // the segment b - 1 .. b extended to Vhalf; both edges use that rule.
  const double Vhalf = (Vmax + Vbase) / 2;
  const auto crossing = [&](int b) {
    double tc = (b - 1) * dt;
    if (AbsD(V[b] - V[b - 1]) > 1e-6) tc = tc + dt * (Vhalf - V[b - 1]) / (V[b] - V[b - 1]);
    return tc;
  };
  double tUp = 0, tDown = 0;
  const int lastPair = std::min(i0 + L, last - 1);  // V[b + 1] is read
  for (b = i0 + 1; b <= lastPair; ++b) {
    if (V[b + 1] >= Vhalf && V[b] < Vhalf) {
      tUp = crossing(b);
    } else if (V[b + 1] <= Vhalf && V[b] > Vhalf) {
      tDown = crossing(b);
      spikes.WidthAP[k] = (tDown - tUp) * 1000;  // ms
    }
  }

  double Vmin = Vmax;
  for (b = i0 + 1; b <= i0 + L; ++b)
    if (b * dt > tDown && V[b] < Vmin) Vmin = V[b];
  spikes.VAHP[k] = Vmin;

  // Fast AHP: the first sample TimeSincePeak after the peak where the fall
  // has slowed to AHPfast.dVdt_min. V[b + 1] is read, so a window reaching
  // the last sample ends one sample earlier.
  const int fastEnd = std::max(i0 + 1, lastPair);
  double D = -1e6;  // mV/ms
  b = i0;
  do {
    ++b;
    if (b < last && b * dt > spikes.tAP[k] + settings.AHPfast.TimeSincePeak)
      D = MathMy::MinMod(V[b + 1] - V[b], V[b] - V[b - 1]) / (dt * 1000);
  } while (b < fastEnd && !(D > settings.AHPfast.dVdt_min));
  spikes.VAHPfast[k] = V[b];
}

bool DetectSpikes(SpikeList& spikes, const Recording& rec, int slot, const SpikeSettings& settings) {
  return DetectSpikes(spikes, SignalOf(rec, slot), settings);
}

bool DetectSpikes(SpikeList& spikes, const SweepSignal& signal, const SpikeSettings& settings) {
  if (!signal.scanned) return false;

  for (std::vector<double>* a : {&spikes.tAP, &spikes.ISI, &spikes.WidthAP, &spikes.Vpeak, &spikes.VT})
    std::fill(a->begin(), a->end(), 0.0);
  const double tOn = signal.tOn / 1000;  // s
  spikes.tAP[0] = tOn;
  spikes.nSpikes = 0;
  double tLast = kNoDetection;
  SpikeState state = SpikeState::Idle;

  const SweepSlot& sweep = signal.sweep;
  const std::vector<double>& V = sweep.V;
  const double dt = signal.dt;
  const int n = MathMy::MinInt2(TruncSamples(signal.tOff / 1000 / dt), LastSample(sweep));
  // runs[k]: what Vav[k] ends up averaging, the samples after the last detection
  // into slot k (slot 0 starts with the samples before any detection).
  std::vector<QuietRun> runs(kMaxSpikes + 1);
  runs[0] = {1, n, kNoDetection};
  int& k = spikes.nSpikes;
  double isiBefore = 0;  // s, ISI[1] + ... + ISI[summed - 1], added in that order
  int summed = 1;
  const double vMin = settings.SpikeCriteria.V_min;
  for (int i = 1; i <= n; ++i) {
    // Most samples lie below V_min outside a rise: SpikeStep would arm there
    // and nothing else, so the scan passes the whole run below V_min at once.
    if (state != SpikeState::Rising && V[i] < vMin) {
      state = SpikeState::Armed;
      while (i < n && V[i + 1] < vMin) ++i;
      continue;
    }
    const double t = i * dt + signal.t0;
    // V2 is used only when Rising or Armed, which cannot hold at i = 1, where
    // sample i - 2 does not exist.
    SpikeStep(settings.SpikeCriteria, dt, tLast, state, i >= 2 ? V[i - 2] : V[i - 1], V[i - 1], V[i], t);
    if (state != SpikeState::Detected) continue;
    runs[k].last = i - 1;
    if (t > tOn && k < kMaxSpikes) ++k;
    if (k >= 1) {
      // The earlier intervals are final once k has moved past them: summed
      // as they come, in the same order, they give what a sum over all gives.
      for (; summed < k; ++summed) isiBefore += spikes.ISI[summed];
      spikes.ISI[k] = (t - tOn) - isiBefore;
    }
    const Threshold threshold = FindThreshold(signal, i, settings.ThresholdScale);
    spikes.VT[k] = threshold.VT;
    spikes.tVT[k] = threshold.tVT;
    MeasureSpike(spikes, k, signal, threshold.iVT, settings);
    spikes.Vav[k] = 0;
    runs[k] = {i + 1, n, t};
  }
  runs.resize(k + 1);
  AverageQuietSamples(spikes, V, runs, dt, signal.t0);
  return true;
}

void ClearSpikeList(SpikeList& spikes, double tOn) {
  spikes = SpikeList();
  spikes.tAP[0] = tOn / 1000;
}

void ShowSpikes(const SpikeList& spikes, Chart& voltageChart, const std::vector<double>* stimTimes) {
  // The half-widths (ms, about 1) share the chart with the voltage: from 0
  // up, they keep to a band near the top instead of scattering over the trace.
  voltageChart.right.title = "WidthAP (ms)";
  voltageChart.right.fromZero = true;
  Series& peak = EnsureSeries(voltageChart, "Spikes", SeriesKind::Point, kRed);
  Series& vav = EnsureSeries(voltageChart, "Vav", SeriesKind::Point, kTeal);  // the trace is blue
  Series& width = EnsureSeries(voltageChart, "WidthAP", SeriesKind::Point, kGreen, AxisSide::Right);
  Series& vt = EnsureSeries(voltageChart, "VT", SeriesKind::Point, kMagenta);
  Series& vahp = EnsureSeries(voltageChart, "VAHP", SeriesKind::Point, kBlack);
  Series& vahpFast = EnsureSeries(voltageChart, "VAHPfast", SeriesKind::Point, kOrange);
  for (Series* s : {&peak, &vav, &width, &vt, &vahp, &vahpFast}) s->Clear();

  int idx = 0;
  for (int k = 1; k <= spikes.nSpikes; ++k) {
    double x = spikes.tAP[k] * 1000;  // ms
    if (stimTimes) x = AlignToStimulus(x, idx, *stimTimes);
    peak.AddPoint(x, spikes.Vpeak[k]);
    vav.AddPoint(x - spikes.ISI[k] * 1000 / 2, spikes.Vav[k]);
    width.AddPoint(x, spikes.WidthAP[k]);
    vt.AddPoint(spikes.tVT[k] * 1000, spikes.VT[k]);
    vahp.AddPoint(x, spikes.VAHP[k]);
    vahpFast.AddPoint(x, spikes.VAHPfast[k]);
  }
}

}  // namespace velmora
