#pragma once
// The model cell: one isopotential compartment with fast sodium, delayed-
// rectifier potassium, a slow M-type potassium current that makes firing
// adapt, and a leak. Kinetics of the Traub type as used for regular-spiking
// cortical cells; conductances are totals for the whole cell.

namespace velmora {

struct CellParameters {
  double C = 0.1;          // nF (100 pF: 1e-4 cm2 of membrane at 1 uF/cm2)
  double GL = 10;          // nS, leak
  double EL = -65;         // mV
  double gNa = 5600;       // nS
  double ENa = 50;         // mV
  double gK = 600;         // nS, delayed rectifier
  double EK = -90;         // mV, also the M current's reversal
  double gM = 12;          // nS, slow adaptation current
  double tauMmax = 600;    // ms, slowest time constant of the M gate
  double Vshift = -62;     // mV, shifts the Na and K kinetics; spikes start about 13 mV above
};

struct CellState {
  double V = -65;  // mV, membrane potential
  double m = 0, h = 1, n = 0;  // Na activation and inactivation, K activation
  double p = 0;    // M-current activation
};

// The state the cell rests in without input.
CellState RestingState(const CellParameters& cell);

// Advances the cell by h ms under a constant injected current Iinj (pA,
// positive depolarises). Gates by their exact exponential relaxation at the
// voltage of the step's start, then V by the exponential of its linearised
// equation, so that the step stays stable where the sodium conductance makes
// the membrane time constant far shorter than h.
void StepCell(CellState& s, const CellParameters& cell, double Iinj, double h);

// The ionic current the cell carries at its state, pA (outward positive).
double IonicCurrent(const CellState& s, const CellParameters& cell);

}  // namespace velmora
