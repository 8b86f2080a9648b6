#include "modelcell/Recorder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "modelcell/Random.h"
#include "numeric/MathMy.h"

namespace velmora {

namespace {

// The integration step within a sample: the sodium upstroke needs about
// 25 us to keep the spike's shape at every sampling rate.
constexpr double kMaxSubstep = 0.025;  // ms

enum Stream : std::uint64_t { kNoiseV = 1, kNoiseI = 2, kNoiseLfp = 3 };

bool Inside(double t, double on, double off) { return t >= on && t < off; }

double Omega(double period) { return 2 * std::numbers::pi / period; }

// The conductance of kind 5's parts: a constant, or amp (cos + 1) for a period > 0.
double Wave5(double amp, double period, double t) {
  return period > 0 ? amp * (std::cos(Omega(period) * t) + 1) : amp;
}

void FindSpikes(SweepResult& r) {
  constexpr double kLevel = -20;  // mV
  const int n = r.samples();
  for (int k = 1; k < n; ++k) {
    if (!(r.Vm[k] >= kLevel && r.Vm[k - 1] < kLevel)) continue;
    int peak = k;
    while (k + 1 < n && r.Vm[k + 1] >= kLevel) {
      ++k;
      if (r.Vm[k] > r.Vm[peak]) peak = k;
    }
    r.spikeTimes.push_back(peak * r.dt);
  }
}

std::vector<int> StimulusSamples(const StimulationSettings& s, double dt, int n) {
  std::vector<int> k;
  if (s.freq <= 0) return k;
  const double period = 1000 / s.freq - s.shortfall;
  for (int i = 0;; ++i) {
    const long sample = std::lround((s.tFirst + i * period) / dt);
    if (sample + 2 >= n) break;  // the artefact spans three samples
    k.push_back(static_cast<int>(sample));
  }
  return k;
}

void AddLfp(SweepResult& r, const LfpSettings& lfp, std::uint64_t seed, int sweepIndex) {
  Rng noise(seed, static_cast<std::uint64_t>(sweepIndex), kNoiseLfp);
  const int n = r.samples();
  r.LFP.resize(n);
  std::size_t next = 0;  // first stimulus not yet started
  for (int k = 0; k < n; ++k) {
    const double t = k * r.dt;
    while (next < r.stimTimes.size() && r.stimTimes[next] <= t) ++next;
    double v = lfp.rhythm * std::sin(Omega(1000 / lfp.rhythmFreq) * t);
    // Waves older than ten time constants are gone.
    for (std::size_t s = next; s-- > 0 && t - r.stimTimes[s] < 10 * lfp.tauEvoked;) {
      const double x = (t - r.stimTimes[s]) / lfp.tauEvoked;
      v -= lfp.evoked * x * std::exp(1 - x);
    }
    r.LFP[k] = v + lfp.noise * noise.Normal();
  }
}

}  // namespace

ClampCommand CommandAt(const ClampProtocol& p, double t) {
  const ClampWaveRec& w = p.wave;
  ClampCommand c;
  const bool iOn = Inside(t, p.tIOn, p.tIOff), gOn = Inside(t, p.tGOn, p.tGOff);
  switch (w.WaveKind) {
    case 0:
      c.I = iOn ? w.I0 : 0, c.G = gOn ? w.G0 : 0;
      break;
    case 1:
      c.I = iOn ? w.I0 * std::sin(Omega(w.TI) * t) : 0, c.G = gOn ? w.G0 : 0;
      break;
    case 2:
      c.I = iOn ? w.I0 : 0, c.G = gOn ? w.G0 * (std::cos(Omega(w.TG) * t) + 1) : 0;
      break;
    case 3:
      c.I = iOn ? w.I0 * std::sin(Omega(w.TI) * t) : 0, c.G = gOn ? w.G0 * (std::cos(Omega(w.TG) * t) + 1) : 0;
      break;
    case 4:
      c.I = iOn && std::sin(Omega(w.TI) * t) < 0 ? w.I0 : 0, c.G = gOn ? w.G0 : 0;
      break;
    case 5:
      if (gOn) {
        c.GE = Wave5(w.GEamp, w.TGE, t);
        c.GI = Wave5(w.GIamp, w.TGI, t);
        c.gNMDA = Wave5(w.gNMDAamp, w.TgNMDA, t);
        c.I = c.GE * (0 - p.Vus) + c.GI * (w.EI - p.Vus);
        c.G = c.GE + c.GI;
      }
      break;
    default:
      break;
  }
  return c;
}

int MeanderPeriodSamples(const MeanderSettings& m, double dt) {
  return static_cast<int>(std::trunc(1000 / m.Freq / dt));
}
int MeanderPulseSamples(const MeanderSettings& m, double dt) { return static_cast<int>(std::trunc(m.Tpulse / dt)); }

SweepResult SimulateSweep(const CellParameters& cell, const RecorderSettings& rec, const SweepSpec& sweep,
                          std::uint64_t seed, int sweepIndex) {
  const double dt = rec.dt;
  const int n = static_cast<int>(std::lround(sweep.duration / dt)) + 1;
  SweepResult r;
  r.dt = dt;
  for (auto* v : {&r.V, &r.Vm, &r.Icom, &r.Ireal, &r.Meander, &r.I, &r.G, &r.GE, &r.GI, &r.gNMDA}) v->resize(n);

  const auto stim = StimulusSamples(rec.stimulation, dt, n);
  for (const int k : stim) r.stimTimes.push_back(k * dt);

  Rng noiseV(seed, static_cast<std::uint64_t>(sweepIndex), kNoiseV);
  Rng noiseI(seed, static_cast<std::uint64_t>(sweepIndex), kNoiseI);
  const MeasurementSettings& meas = rec.measurement;
  const double ampFollow = meas.tauAmp > 0 ? -std::expm1(-dt / meas.tauAmp) : 1;

  const int nSub = std::max(1, static_cast<int>(std::ceil(dt / kMaxSubstep - 1e-9)));
  const double h = dt / nSub;
  const double Re = rec.electrode.Re / 1000;  // GOhm: pA x GOhm = mV
  const double tauE = Re * rec.electrode.Ce;   // ms (GOhm x pF)
  const double eFollow = tauE > 0 ? -std::expm1(-h / tauE) : 1;

  // The meander's recorder-side state.
  enum class Pulse { Off, Positive, Negative } pulse = Pulse::Off;
  const MeanderSettings* fc = sweep.meander ? &*sweep.meander : nullptr;
  const int nPeriod = fc ? MeanderPeriodSamples(*fc, dt) : 0;
  const int nPulse = fc ? MeanderPulseSamples(*fc, dt) : 0;

  CellState s = RestingState(cell);
  double Ve = s.V;   // mV, amplifier side of the electrode
  double Iamp = 0;   // pA, the measured current before noise
  const double Vus = sweep.clamp.Vus;
  for (int k = 0; k < n; ++k) {
    const double t = k * dt;
    const ClampCommand c = CommandAt(sweep.clamp, t);
    const double V = Ve + meas.noiseV * noiseV.Normal();

    double Im = 0;
    if (fc) {
      if (k >= nPeriod && k % nPeriod == 0) {
        pulse = Pulse::Positive;
        r.pulses.push_back({k, -1, -1});
      } else if (pulse == Pulse::Positive && k - r.pulses.back().kPositive == nPulse) {
        pulse = Pulse::Negative;
        r.pulses.back().kNegative = k;
      } else if (pulse == Pulse::Negative && V < fc->Vswitch) {
        pulse = Pulse::Off;
        r.pulses.back().kEnd = k;
      }
      Im = pulse == Pulse::Positive ? fc->Ipos : pulse == Pulse::Negative ? -fc->Ineg : 0;
    }
    const double Iclamp =
        c.I - c.G * (V - Vus) + c.gNMDA * MathMyO::MgBlock(rec.Mg, V / 1000) * (0 - V) + Im;
    Iamp += (Iclamp - Iamp) * ampFollow;

    r.V[k] = V, r.Vm[k] = s.V, r.Icom[k] = Iclamp, r.Ireal[k] = Iamp + meas.noiseI * noiseI.Normal();
    r.Meander[k] = Im;
    r.I[k] = c.I, r.G[k] = c.G, r.GE[k] = c.GE, r.GI[k] = c.GI, r.gNMDA[k] = c.gNMDA;

    for (int j = 0; j < nSub; ++j) {
      if (Re > 0) {
        // The cell receives what flows through Re; the electrode's capacitance
        // takes the rest of the command and smooths the recorded voltage.
        const double Icell = tauE > 0 ? (Ve - s.V) / Re : Iclamp;
        StepCell(s, cell, Icell, h);
        const double VeInf = s.V + Re * Iclamp;
        Ve += (VeInf - Ve) * eFollow;
      } else {
        StepCell(s, cell, Iclamp, h);
        Ve = s.V;
      }
    }
  }

  const double A = rec.stimulation.amplitude;
  for (const int k : stim) r.Ireal[k] += A, r.Ireal[k + 1] -= 0.6 * A, r.Ireal[k + 2] += 0.2 * A;
  if (rec.lfp.on) AddLfp(r, rec.lfp, seed, sweepIndex);
  FindSpikes(r);
  return r;
}

}  // namespace velmora
