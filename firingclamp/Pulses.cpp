#include "firingclamp/Pulses.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "firingclamp/Meander.h"
#include "recording/Stimulus.h"

namespace velmora {

std::array<std::vector<double>*, kPulseArrays> Pulses::Arrays() {
  return {&tPulse, &PulseV, &subV,     &VT,   &NegPulseDur, &VHalfPulse, &I,  &G,        &gNMDA,
          &Iest,   &Gest,   &gNMDAest, &Imeander, &GE,      &GI,         &Vsyn, &Vss, &z1, &z2, &z3,
          &PulseDur, &PulseV_VT, &dVdt, &dVdt_V1, &dVdt_V2};
}

std::array<const std::vector<double>*, kPulseArrays> Pulses::Arrays() const {
  const auto mutableArrays = const_cast<Pulses*>(this)->Arrays();
  std::array<const std::vector<double>*, kPulseArrays> arrays;
  std::copy(mutableArrays.begin(), mutableArrays.end(), arrays.begin());
  return arrays;
}

void SizePulseArrays(Pulses& p, int lastSlot) {
  const auto n = static_cast<std::size_t>(std::clamp(lastSlot, 0, kMaxPulses)) + 1;
  for (std::vector<double>* a : p.Arrays()) a->resize(n);
}

void ReadFCSettings(RecordingParameters& par, LostParameters lost, const FCSettings& settings, Pulses& p,
                    WarningSink& warnings) {
  const FCParsRec& fc = par.FCPars;
  if (const std::string failed = ComputeMeanderCounts(par); !failed.empty())
    warnings.Warn(fmt::format("The meander counts {} cannot be computed from Freq = {} Hz, Tpulse = {} ms, "
                              "dtPar = {} ms; they are taken as 0",
                              failed, fc.Freq, fc.Tpulse, par.dtPar));
  ReconcileWaveKind(par.ClampWave, lost);

  p.FlawThreshold = settings.FlawThreshold;
  p.nFlaws = 0;
  p.Shift = settings.Shift;
  int excluded = 0;
  if (!TruncCount(settings.ExcludeInitial / par.dtPar, excluded))
    warnings.Warn(fmt::format("\"Exclude initial\" = {} ms cannot be counted in samples of dtPar = {} ms; "
                              "no initial samples are excluded",
                              settings.ExcludeInitial, par.dtPar));
  p.nExclude = excluded + 1;
  p.V1 = settings.V1;
  p.V2 = settings.V2;
  TruncCount(settings.nV1max, p.nV1max);
  TruncCount(settings.nV2max, p.nV2max);
  p.C = settings.C;
  p.VL = settings.VL;
  p.GL = settings.GL;
}

namespace {

// Whether FC holds the samples of slot k as it is loaded now.
bool Prepared(const FCRecord& FC, int k, int nLast) {
  if (FC.slot != k || FC.nLast != nLast || nLast < 0) return false;
  const auto n = static_cast<std::size_t>(nLast) + 1;
  for (std::size_t size : {FC.V.size(), FC.I.size(), FC.G.size(), FC.gNMDA.size(), FC.Meander.size(),
                           FC.State.size(), FC.PeriodFlaw.size()})
    if (size < n) return false;
  return true;
}

void ClearSlot(Pulses& p, int slot) {
  for (std::vector<double>* a : p.Arrays()) (*a)[slot] = 0;
}

// The cell answers the input with a lag: I, G, gNMDA of pulse j move toward
// (Shift in (0, 1]) or to (Shift > 1) those of earlier pulses. Pulse 1 keeps its own.
void ShiftInputs(Pulses& p) {
  const double s = p.Shift;
  if (s <= 0) return;
  for (int j = p.nPulses; j >= 2; --j)  // descending: X[j - 1] is still unshifted
    for (std::vector<double>* X : {&p.I, &p.G, &p.gNMDA})
      (*X)[j] = s <= 1 ? (1 - s) * (*X)[j] + s * (*X)[j - 1] : (*X)[j - 2];
}

}  // namespace

void AnalyzePulses(Recording& rec, int k, const FCRecord& FC, const FCSettings& settings, LostParameters lost,
                   Pulses& p, WarningSink& warnings) {
  ReadFCSettings(rec.par, lost, settings, p, warnings);
  p.nPulses = 0;
  for (std::vector<double>* a : p.Arrays()) a->assign(1, 0.0);
  const int nLast = rec.traces.nLast(k);
  if (!Prepared(FC, k, nLast)) {
    warnings.Warn(fmt::format("{}: no pulse analysis: the meanders of this sweep have not been detected",
                              SweepName(rec, k)));
    return;
  }
  if (!(rec.dt > 0)) {
    warnings.Warn(fmt::format("{}: no pulse analysis: the sampling step is {} s", SweepName(rec, k), rec.dt));
    return;
  }
  const FCParsRec& fc = rec.par.FCPars;
  const int iStart = std::max(p.nExclude, 1);  // the first sample has no predecessor to jump from
  const int iLast = std::min(nLast - 3, fc.nStop);
  if (iLast < iStart) return;

  const double dtms = rec.dt * 1000;  // ms
  // Smoothing factors above 1 would overshoot; at most 1 takes the sample as it is.
  const double aSmooth = std::min(1.0, rec.dt * fc.Freq);  // one meander period
  const double aHold = std::min(1.0, dtms / 0.5);         // 0.5 ms
  const int halfPulse = fc.nPulse / 2;
  const auto& V = FC.V;

  int np = 0;
  bool flaw = false;
  int cIPI = 0, cV1 = 0, cV2 = 0, cM = 0;
  // The mean meander current since the last switch to negative, as a sum:
  // a running mean would chain a division through every sample.
  double Msum = 0;
  double Vmax = V[iStart], Sv = V[iStart], Sd = 0;
  double Ia = FC.I[iStart], Ga = FC.G[iStart], Na = FC.gNMDA[iStart];
  int iPos = iStart;
  using S = MeanderState;
  for (int i = iStart; i <= iLast; ++i) {
    const double v = V[i], vp = V[i - 1];
    const double tCur = (i * rec.dt + rec.t0) * 1000;  // ms
    if (std::fabs(v - vp) > p.FlawThreshold || std::fabs(v) >= 150) flaw = true;
    if (FC.PeriodFlaw[i] == 1) flaw = true;
    double Ii = FC.I[i];
    const double Gi = FC.G[i], Ni = FC.gNMDA[i];
    if (settings.correctVus70) Ii = Ii + 70 * Gi;

    switch (static_cast<S>(FC.State[i])) {
      case S::SwitchToPositivePulse:
        p.dVdt[np] = Sd;
        p.VT[np] = std::min(vp, v);
        p.subV[np] = Sv;
        p.PulseDur[np] = tCur;  // the start; a duration from the switch to negative on
        iPos = i;
        Vmax = v;
        break;
      case S::PositivePulse:
      case S::DelayNegativePulse:
        Vmax = std::max(v, Vmax);
        if (i - iPos == halfPulse) p.VHalfPulse[np] = v;
        if (v > p.V2 && cV2 <= p.nV2max) {
          ++cV2;
          p.dVdt_V2[np] = ((cV2 - 1) * p.dVdt_V2[np] + (v - vp) / dtms) / cV2;
        }
        break;
      case S::SwitchToNegativePulse:
        p.tPulse[np] = tCur;
        p.PulseV[np] = std::max(v, Vmax);
        p.PulseDur[np] = tCur - p.PulseDur[np];
        p.PulseV_VT[np] = p.PulseV[np] - p.VT[np];
        if (p.PulseDur[np] > 0) p.PulseV_VT[np] = p.PulseV_VT[np] / p.PulseDur[np] * fc.Tpulse;
        p.I[np] = Ia;
        p.G[np] = Ga;
        p.gNMDA[np] = Na;
        p.Imeander[np] = cM > 0 ? Msum / cM : FC.Meander[iStart];
        cM = 0, Msum = 0;
        Ia = Ii, Ga = Gi, Na = Ni;
        p.NegPulseDur[np] = tCur;  // the start, as for PulseDur
        break;
      case S::EndOfMeander:
        p.NegPulseDur[np] = tCur - p.NegPulseDur[np];
        cIPI = cV1 = cV2 = 0;
        if (flaw) {
          ++p.nFlaws;
          flaw = false;
          ClearSlot(p, np);  // the next meander takes the slot
        } else if (np == kMaxPulses) {
          if (i < iLast)
            warnings.Warn(fmt::format("{}: more than {} meanders; the pulse analysis stops at {} ms",
                                      SweepName(rec, k), kMaxPulses, tCur));
          ++np;  // no slot is left for the next meander: the scan ends below
        } else {
          ++np;
          if (np >= static_cast<int>(p.tPulse.size())) SizePulseArrays(p, 2 * np);
        }
        break;
      case S::InterPulseInterval:
        ++cIPI;
        if (cIPI == 1) {
          Sv = v;
          Sd = (v - vp) / dtms;
        } else {
          Sv = Sv + aSmooth * (v - Sv);
          Sd = Sd + aSmooth * ((v - vp) / dtms - Sd);
        }
        Ia = Ia + (Ii - Ia) * aHold;
        Ga = Ga + (Gi - Ga) * aHold;
        Na = Na + (Ni - Na) * aHold;
        if (v > p.V1 && cV1 <= p.nV1max) {
          ++cV1;
          p.dVdt_V1[np] = ((cV1 - 1) * p.dVdt_V1[np] + (v - vp) / dtms) / cV1;
        }
        break;
      default:
        break;
    }
    ++cM;
    Msum += FC.Meander[i];
    if (np > kMaxPulses) break;
  }
  SizePulseArrays(p, np);

  // The first meander (slot 0) starts before or at the scan and the one in
  // progress at its end is unfinished; the last completed one is not counted either.
  p.nPulses = std::max(0, np - 2);
  ShiftInputs(p);
}

double ZValue(const Pulses& p, int n, int j) {
  const std::vector<double>* z = nullptr;
  switch (n) {
    case 3: z = &p.VT; break;
    case 4: z = &p.PulseV_VT; break;
    case 5: z = &p.subV; break;
    case 6: z = &p.PulseV; break;
    case 7: z = &p.NegPulseDur; break;
    case 8: z = &p.dVdt; break;
    case 9: z = &p.VHalfPulse; break;
    case 10: z = &p.dVdt_V1; break;
    case 11: z = &p.dVdt_V2; break;
    default: return 0;
  }
  return j >= 0 && j < static_cast<int>(z->size()) ? (*z)[j] : 0;
}

void AnalyticEstimate(Pulses& p, double Ipos, WarningSink& warnings) {
  std::size_t size = p.Iest.size();
  for (const std::vector<double>* a : {&p.Gest, &p.dVdt_V1, &p.dVdt_V2}) size = std::min(size, a->size());
  const int n = std::min(p.nPulses, static_cast<int>(size) - 1);
  if (n < 1) return;
  // Both levels equal or no capacitance leave the membrane equation with no
  // solution: every pulse gets 0 rather than an infinity.
  const bool solvable = p.V2 != p.V1 && p.C != 0;
  const double q = solvable ? Ipos / (1000 * p.C) : 0;  // mV/ms
  int unsolved = 0;
  for (int j = 1; j <= n; ++j) {
    const double a = p.dVdt_V1[j], b = p.dVdt_V2[j];
    double Gest = 0, Iest = 0;
    if (solvable) {
      Gest = (a - b + q) * 1000 * p.C / (p.V2 - p.V1) - p.GL;
      Iest = 1000 * p.C * (b * (p.VL - p.V1) + a * (p.V2 - p.VL) - q * (p.VL - p.V1)) / (p.V2 - p.V1);
    }
    if (!solvable || !std::isfinite(Gest) || !std::isfinite(Iest)) {
      Gest = Iest = 0;
      ++unsolved;
    }
    p.Gest[j] = Gest;
    p.Iest[j] = Iest;
  }
  if (!solvable)
    warnings.Warn(fmt::format("Analytic estimate: no solution with V1 = {} mV, V2 = {} mV, C = {} nF "
                              "(V1 and V2 must differ, C must not be 0); I and G of {} pulses are set to 0",
                              p.V1, p.V2, p.C, unsolved));
  else if (unsolved > 0)
    warnings.Warn(fmt::format("Analytic estimate: I and G of {} pulses are out of range and set to 0", unsolved));
}

}  // namespace velmora
