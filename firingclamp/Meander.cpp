#include "firingclamp/Meander.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <limits>

#include "firingclamp/Averaging.h"
#include "numeric/MathMy.h"
#include "recording/Stimulus.h"

namespace velmora {
namespace {

constexpr std::array<std::string_view, 10> kStateNames = {
    "Nothing",       "DelayPositivePulse",    "SwitchToPositivePulse", "PositivePulse",     "DelayNegativePulse",
    "SwitchToNegativePulse", "NegativePulse", "DelayEndOfMeander",     "EndOfMeander",      "InterPulseInterval"};

bool IsSwitch(MeanderState s) {
  return s == MeanderState::SwitchToPositivePulse || s == MeanderState::SwitchToNegativePulse ||
         s == MeanderState::EndOfMeander;
}

template <class... V>
void SizeArrays(std::size_t n, V&... v) {
  (v.resize(n), ...);
}

// The phase of the meander clock at the nominal end of the positive pulse:
// (m - nPulse) mod nPeriod = 0 exactly where m mod nPeriod equals it.
int PulseEndPhase(const MeanderClock& clock) {
  const int P = clock.nPeriod;
  return (clock.nPulse % P + P) % P;
}

// The state machine, given the clock m = i - dT and its phase m mod nPeriod
// (the pass keeps the phase by counting: a division per sample would cost
// more than the rest of the step).
inline MeanderTransition Transition(const SweepSlot& sweep, const MeanderClock& clock, int i, MeanderDelays d,
                                    int m, int phase, int pulseEndPhase, MeanderState prev) {
  using S = MeanderState;
  if (m < clock.nPeriod) return {S::Nothing, false};
  const double Iq = sweep.Ireal[i - d.dI];
  if (phase == 0) {
    // The measured current may lag the command; the pulse starts once it follows.
    const bool on = Iq > clock.Ipos / 2 || clock.Ipos == 0;
    return {on ? S::SwitchToPositivePulse : S::DelayPositivePulse, prev != S::InterPulseInterval};
  }
  if (prev == S::DelayPositivePulse && Iq > clock.Ipos / 2) return {S::SwitchToPositivePulse, false};
  if (phase == pulseEndPhase) return {Iq < 0 ? S::SwitchToNegativePulse : S::DelayNegativePulse, false};
  if (prev == S::DelayNegativePulse && Iq < 0) return {S::SwitchToNegativePulse, false};
  if (prev == S::NegativePulse && sweep.V[i - d.dV] < clock.Vend) return {S::EndOfMeander, false};
  switch (prev) {
    case S::SwitchToPositivePulse: return {S::PositivePulse, false};
    case S::SwitchToNegativePulse: return {S::NegativePulse, false};
    case S::EndOfMeander: return {S::InterPulseInterval, false};
    default: return {prev, false};
  }
}

// s, from "tau_Ifilt, mus".
double FilterTimeConstant(const CompensationSettings& settings) { return settings.tauIfilt / 1e6; }

// The "delays" fields truncated to whole samples.
MeanderDelays DelaysOf(const CompensationSettings& settings) {
  MeanderDelays d;
  TruncCount(settings.DelayI, d.dI);
  TruncCount(settings.DelayT, d.dT);
  TruncCount(settings.DelayV, d.dV);
  return d;
}

// GOhm, so that pA GOhm = mV; 0 where the mode leaves the compensation to the estimation.
double ElectrodeResistance(const CompensationSettings& settings, const std::string& name, WarningSink& warnings) {
  using M = CompensationMode;
  if (settings.mode == M::CGAfterEstimation || settings.mode == M::CGAfterEstimationNoMeander ||
      settings.mode == M::TauGAfterEstimationNoMeander)
    return 0;
  const double R1 = settings.G1 != 0 ? 1 / settings.G1 : 0;
  if (std::isfinite(R1)) return R1;
  warnings.Warn(fmt::format("{}: G1 = {} nS is too small to invert; no electrode resistance is assumed", name,
                            settings.G1));
  return 0;
}

// The step current and conductance of the sweep as the cell received them
// through the electrode; both divided by the same factor of the recorded G.
void CompensateStepValues(Recording& rec, int k, double R1, const std::string& name, WarningSink& warnings) {
  const double den = 1 + rec.Gfile[k] * rec.Gain * R1;
  if (den != 0 && std::isfinite(den)) {
    rec.Gfile[k] = rec.Gfile[k] / den;
    rec.Ifile[k] = rec.Ifile[k] / den;
    return;
  }
  warnings.Warn(fmt::format("{}: the step current and conductance cannot be compensated (1 + G Gain R1 = {}); "
                            "they are left as recorded",
                            name, den));
}

}  // namespace

CompensatedWith MeanderInputs(const CompensationSettings& compensation, const EstimationsWindowSettings& estimations) {
  return {compensation, estimations.corrections.Vjunction, estimations.corrections.Ioffset, estimations.nmda.Mg};
}

std::string SweepName(const Recording& rec, int k) {
  if (k >= 0 && k < static_cast<int>(rec.FileNames.size()) && !rec.FileNames[k].empty())
    return std::filesystem::path(rec.FileNames[k]).filename().string();
  return fmt::format("slot {}", k);
}

bool TruncCount(double x, int& count) {
  const bool ok = std::isfinite(x) && std::fabs(x) < std::numeric_limits<int>::max();
  count = ok ? static_cast<int>(std::trunc(x)) : 0;
  return ok;
}

std::string ComputeMeanderCounts(RecordingParameters& par) {
  FCParsRec& fc = par.FCPars;
  int n50 = 0;
  std::string failed;
  const auto add = [&failed](const char* name) { failed += failed.empty() ? name : std::string(", ") + name; };
  if (!TruncCount(1000 / fc.Freq / par.dtPar, fc.nPeriod)) add("nPeriod");
  if (!TruncCount(fc.Tpulse / par.dtPar, fc.nPulse)) add("nPulse");
  if (TruncCount(50 / par.dtPar, n50))
    fc.nStop = par.nPar - n50;
  else
    fc.nStop = 0, add("nStop");
  return failed;
}

MeanderDelays EffectiveDelays(MeanderDelays delays, int i) {
  const auto at = [i](int delay) { return i <= delay || delay < 0 ? 0 : delay; };
  return {at(delays.dI), at(delays.dT), at(delays.dV)};
}

MeanderTransition MeanderStep(const SweepSlot& sweep, const MeanderClock& clock, int i, MeanderDelays d,
                              MeanderState prev) {
  const int m = i - d.dT;
  const int P = clock.nPeriod;
  return Transition(sweep, clock, i, d, m, m % P, PulseEndPhase(clock), prev);
}

double MeanderCurrent(MeanderState state, const FCParsRec& fc) {
  switch (state) {
    case MeanderState::SwitchToPositivePulse:
    case MeanderState::PositivePulse:
    case MeanderState::DelayNegativePulse:
      return fc.Ipos;
    case MeanderState::SwitchToNegativePulse:
    case MeanderState::NegativePulse:
    case MeanderState::DelayEndOfMeander:
      return -fc.Ineg;
    default:
      return 0;
  }
}

int StateIndex(std::string_view name) {
  for (std::size_t i = 0; i < kStateNames.size(); ++i)
    if (kStateNames[i] == name) return static_cast<int>(i);
  return 0;
}

std::string_view StateName(int index) {
  return index >= 0 && index < static_cast<int>(kStateNames.size()) ? kStateNames[index] : kStateNames[0];
}

bool DetectMeander(Recording& rec, int k, const CompensationSettings& compensation,
                   const EstimationsWindowSettings& estimations, FCRecord& FC, WarningSink& warnings) {
  FC.slot = 0, FC.nLast = -1;  // until a pass has filled the arrays
  if (k < 1 || k > kMaxSweeps) {
    warnings.Warn(fmt::format("No meander detection: slot {} is outside 1..{}", k, kMaxSweeps));
    return false;
  }
  RecordingParameters& par = rec.par;
  ComputeMeanderCounts(par);
  const FCParsRec& fc = par.FCPars;
  const SweepSlot& sweep = rec.traces[k];
  const int nLast = sweep.nLast;
  const std::string name = SweepName(rec, k);
  if (nLast < 1) {
    warnings.Warn(fmt::format("{}: no meander detection: the sweep holds too few samples ({}), at least 2 are needed",
                              name, nLast < 0 ? 0 : nLast + 1));
    return false;
  }
  const auto n = static_cast<std::size_t>(nLast) + 1;
  if (sweep.V.size() < n || sweep.Ireal.size() < n) {
    warnings.Warn(fmt::format("{}: no meander detection: the voltage or current trace is shorter than {} samples",
                              name, n));
    return false;
  }
  if (fc.nPeriod < 1) {
    warnings.Warn(fmt::format("{}: no meander detection: the meander period is {} samples (Freq = {} Hz, "
                              "dtPar = {} ms); it must be at least one sample",
                              name, fc.nPeriod, fc.Freq, par.dtPar));
    return false;
  }
  const MeanderDelays delays = DelaysOf(compensation);
  if (delays.dI < 0 || delays.dT < 0 || delays.dV < 0)
    warnings.Warn(fmt::format("{}: negative delays ({}, {}, {}) are taken as 0", name, delays.dI, delays.dT,
                              delays.dV));
  // MgBlock divides by 1 + exp(..) Mg / 3.57, which a negative Mg can bring to 0.
  double Mg = estimations.nmda.Mg;
  if (Mg < 0) {
    warnings.Warn(fmt::format("{}: a negative Mg ({} mM) is taken as 0", name, Mg));
    Mg = 0;
  }

  const CompensationMode mode = compensation.mode;
  const double R1 = ElectrodeResistance(compensation, name, warnings);
  FC.Vend = fc.Vswitch;
  const MeanderClock clock{fc.nPeriod, fc.nPulse, fc.Ipos, FC.Vend};
  SizeArrays(n, FC.I, FC.G, FC.Aux, FC.gNMDA, FC.Meander, FC.V, FC.Ireal, FC.State, FC.PeriodFlaw, FC.Switch);

  // A filter time constant shorter than a sample would overshoot and grow
  // without bound; it is taken as no filtering.
  const double tauIfilt = FilterTimeConstant(compensation);  // s
  const bool filter = tauIfilt > 0;
  const double aFilter = filter ? std::min(1.0, rec.dt / tauIfilt) : 1.0;
  double IrealF = 0, Im = 0;  // pA
  int flatG = 0;              // samples where Gcom R1 = -1
  MeanderState prev = MeanderState::Nothing;
  const int pulseEndPhase = PulseEndPhase(clock);
  // Locals, so that the stores into FC's arrays need not reload them.
  const double Vjunction = estimations.corrections.Vjunction, Ioffset = estimations.corrections.Ioffset;
  const double Vus = par.Vus;
  int m = 0, phase = 0;
  for (int i = 1; i <= nLast; ++i) {
    const MeanderDelays d = EffectiveDelays(delays, i);
    if (i - d.dT == m + 1) {
      m = m + 1;
      phase = phase + 1 == clock.nPeriod ? 0 : phase + 1;
    } else {  // the clock's delay has just set in
      m = i - d.dT;
      phase = m % clock.nPeriod;
    }
    const Stimulus st = StimulusAt(par, rec.FileNo, m * rec.dt * 1000);
    const MeanderTransition tr = Transition(sweep, clock, i, d, m, phase, pulseEndPhase, prev);
    prev = tr.state;
    FC.State[i] = static_cast<std::int32_t>(tr.state);
    FC.PeriodFlaw[i] = tr.periodFlaw ? 1 : 0;
    FC.Switch[i] = IsSwitch(tr.state) ? 1 : 0;
    const double Mi = MeanderCurrent(tr.state, fc);

    const double Id = sweep.Ireal[i - d.dI];
    IrealF = filter ? IrealF + aFilter * (Id - IrealF) : Id;

    const double V = sweep.V[i];
    double Itot = st.Icom - (V - Vus) * st.Gcom;
    if (st.gNMDAcom != 0) Itot += st.gNMDAcom * MathMyO::MgBlock(Mg, V / 1000) * (0 - V);  // reverses at 0 mV
    if (mode == CompensationMode::UseIreal) {
      Itot = IrealF;
    } else if (mode == CompensationMode::UseMeander) {
      Im = Mi;
      Itot = Itot + Im;
    }

    FC.V[i] = V - Vjunction - (Itot + Ioffset) * R1;
    FC.gNMDA[i] = st.gNMDAcom;
    const double den = st.Gcom * R1 + 1;
    double G = st.Gcom;
    if (den != 0)
      G = st.Gcom / den;
    else
      ++flatG;
    FC.G[i] = G;
    FC.I[i] = (st.Icom + Ioffset) - G * Vjunction - (st.Icom + Im + Ioffset) * G * R1;
    FC.Aux[i] = st.Aux;
    FC.Meander[i] = Mi;
    FC.Ireal[i] = IrealF;
  }
  // Sample 0 has no predecessor to be measured from: no state, and the values
  // of sample 1, so that a scan starting at sample 1 sees no jump.
  FC.State[0] = FC.PeriodFlaw[0] = FC.Switch[0] = 0;
  for (auto* v : {&FC.I, &FC.G, &FC.Aux, &FC.gNMDA, &FC.Meander, &FC.V, &FC.Ireal}) (*v)[0] = (*v)[1];
  if (flatG > 0)
    warnings.Warn(fmt::format("{}: at {} samples the command conductance times 1/G1 is -1; the conductance "
                              "is left uncompensated there",
                              name, flatG));

  const bool meanderModes = mode == CompensationMode::UseIreal || mode == CompensationMode::UseMeander;
  const double G1 = compensation.G1;
  FC.Vend = meanderModes && G1 > 0.01 ? fc.Vswitch + fc.Ineg / G1 : fc.Vswitch;

  CompensateStepValues(rec, k, R1, name, warnings);
  FC.slot = k, FC.nLast = nLast;
  FC.madeWith = MeanderInputs(compensation, estimations);
  return true;
}

}  // namespace velmora
