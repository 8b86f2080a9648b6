#include "recording/Stimulus.h"

#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

namespace velmora {
namespace {

bool Within(double t, double from, double to) { return from <= t && t < to; }

// rad/ms. A period <= 0 of the sine and cosine waveforms is taken as an
// infinitely long one (the waveform keeps its value at t = 0), so that a
// damaged parameter file gives no NaN in the charts and files.
double Omega(double T) { return T > 0 ? 2 * std::numbers::pi / T : 0; }

// 1 + cos(ωt) for a positive period, else 1: a period <= 0 plays a constant.
double Modulated(double amp, double T, double t) {
  return T > 0 ? amp * (std::cos(Omega(T) * t) + 1) : amp;
}

Stimulus ClampWaveform(const RecordingParameters& par, double t) {
  const ClampWaveRec& w = par.ClampWave;
  Stimulus s;
  if (w.WaveAlways != 1 && !Within(t, par.tStimStart, par.tStimEnd)) return s;
  switch (w.WaveKind) {
    case 0:
      s.Icom = w.I0;
      s.Gcom = w.G0;
      s.Aux = w.E0;
      break;
    case 1:
      s.Icom = w.I0 * std::sin(Omega(w.TI) * t);
      s.Gcom = w.G0;
      break;
    case 2:
      s.Icom = w.I0;
      s.Gcom = w.G0 * (std::cos(Omega(w.TG) * t) + 1);
      break;
    case 3:
      s.Icom = w.I0 * std::sin(Omega(w.TI) * t);
      s.Gcom = w.G0 * (std::cos(Omega(w.TG) * t) + 1);
      break;
    case 4:  // square wave of period TI: off in the first half-period
      s.Icom = std::sin(Omega(w.TI) * t) >= 0 ? 0 : w.I0;
      s.Gcom = w.G0;
      break;
    case 5: {  // GE reverses at 0 mV, GI at EI; the NMDA part is applied later
      const double GE = Modulated(w.GEamp, w.TGE, t);
      const double GI = Modulated(w.GIamp, w.TGI, t);
      s.Icom = GE * (0 - par.Vus) + GI * (w.EI - par.Vus);
      s.Gcom = GE + GI;
      s.gNMDAcom = Modulated(w.gNMDAamp, w.TgNMDA, t);
      break;
    }
    default:
      break;
  }
  return s;
}

// The value of 1-based grid cell k along one axis.
double GridValue(int GridKind, double first, double last, int n, const std::vector<double>& table,
                 int k, double CmdScale) {
  switch (GridKind) {
    case 1:
    case 2:
      if (n > 1) return (first + (last - first) / (n - 1) * (k - 1)) * CmdScale;
      return first * CmdScale;
    case 3:  // the tables hold the values as played: not scaled
      if (k >= 1 && static_cast<std::size_t>(k) <= table.size()) return table[k - 1];
      return 0;
    default:
      return 0;
  }
}

// The recorder also stored the cell's values in GridPars.Ig / Gg while playing;
// nothing here reads them back, so this stays a pure function.
Stimulus GridStep(const RecordingParameters& par, int FileNo, double t) {
  const GridParsRec& g = par.GridPars;
  const double CmdScale = par.StepPars.CmdScale;
  int i = 1, j = 1;
  if (g.nI >= 1) {
    j = (FileNo - 1) / g.nI + 1;
    i = FileNo - (j - 1) * g.nI;
  }
  Stimulus s;
  if (Within(t, g.tGOn, g.tGOff))
    s.Gcom = GridValue(g.GridKind, g.GgFirst, g.GgLast, g.nG, g.GTable, j, CmdScale);
  if (Within(t, g.tIOn, g.tIOff))
    s.Icom = GridValue(g.GridKind, g.IgFirst, g.IgLast, g.nI, g.ITable, i, CmdScale);
  return s;
}

Stimulus CurrentStep(const RecordingParameters& par, int FileNo, double t) {
  const StepParsRec& p = par.StepPars;
  Stimulus s;
  s.Gcom = par.ClampWave.G0;
  s.Aux = par.ClampWave.E0;
  if (Within(t, par.tStimStart, par.tStimEnd))
    s.Icom = p.nSteps > 1 ? p.Ifirst + (p.Ilast - p.Ifirst) / (p.nSteps - 1) * (FileNo - 1)
                          : p.Ifirst;
  return s;
}

}  // namespace

Stimulus StimulusAt(const RecordingParameters& par, int FileNo, double t) {
  switch (par.ProtocolKind) {
    case 1:
    case 4:
      return ClampWaveform(par, t);
    case 2:
      return CurrentStep(par, FileNo, t);
    case 3:
      return GridStep(par, FileNo, t);
    default:
      return {};
  }
}

void ReconcileWaveKind(ClampWaveRec& wave, LostParameters choice) {
  if (wave.WaveKind < 0) wave.WaveKind = static_cast<int>(choice);
}

LostParameters ChoiceOfKind(const ClampWaveRec& wave, LostParameters choice) {
  // Only items 0..4 name waveform kinds. Item 5 means "Ireal is absent" and
  // makes the loader overwrite the measured current, so a file of waveform
  // kind 5 (or an unknown kind) must not select it.
  if (choice != LostParameters::IrealAbsent && wave.WaveKind >= 0 && wave.WaveKind <= 4)
    return static_cast<LostParameters>(wave.WaveKind);
  return choice;
}

}  // namespace velmora
