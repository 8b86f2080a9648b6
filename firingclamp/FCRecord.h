#pragma once
// The firing-clamp record of the sweep last prepared: per sample the
// meander state and the compensated current, conductance and voltage, and
// which sweep and settings it was made from.

#include <cstdint>
#include <vector>

namespace velmora {

// Meander states, by index.
enum class MeanderState : std::int32_t {
  Nothing = 0,
  DelayPositivePulse = 1,
  SwitchToPositivePulse = 2,
  PositivePulse = 3,
  DelayNegativePulse = 4,
  SwitchToNegativePulse = 5,
  NegativePulse = 6,
  DelayEndOfMeander = 7,
  EndOfMeander = 8,
  InterPulseInterval = 9,
};

// The list of the group "Offline electrode compensation", by item index.
// The modes 3 to 6 leave the compensation to the estimation.
enum class CompensationMode : std::int32_t {
  CommandOnly = 0,                   // "Don't use Ireal and FC.Meander"
  UseIreal = 1,                      // "Use Ireal delayed or filtered"
  UseMeander = 2,                    // "Use FC.Meander"
  CGAfterEstimation = 3,             // "C&G compensation after Estimation"
  CGAfterEstimationNoMeander = 4,    // "C&G compensation after Estimation w/o Meander"
  TauGAfterEstimationNoMeander = 5,  // "tau&G compens. after Estimation w/o Meander"
  TauGAfterEstimation = 6,           // "tau&G compens. after Estimation"
};

// Group "Offline electrode compensation" of the "Compensation" tab.
struct CompensationSettings {
  double G1 = 0;          // nS, "G1,nS"
  double C1C = 0;         // "C1/C"
  CompensationMode mode = CompensationMode::CGAfterEstimationNoMeander;  // the list, item 4
  double DelayI = 5;      // samples, the first "delays" field, truncated
  double DelayT = 5;      // samples, the second
  double DelayV = 8;      // samples, the third
  double tauIfilt = 0;    // us, "tau_Ifilt, mus"

  bool operator==(const CompensationSettings&) const = default;
};

// The settings a meander pass read: kept with what it made, and compared
// with the settings of the moment, never read as inputs.
struct CompensatedWith {
  CompensationSettings compensation;
  double Vjunction = 0;  // mV
  double Ioffset = 0;    // pA
  double Mg = 0;         // mM

  bool operator==(const CompensatedWith&) const = default;
};

struct FCRecord {
  // Per sample of the loaded sweep (index = sample number). Sample 0, which
  // has no predecessor, is in state Nothing and holds the values of sample 1.
  std::vector<double> I;        // pA, effective injected current
  std::vector<double> G;        // nS, effective clamp conductance
  std::vector<double> Aux;      // third stimulus output
  std::vector<double> gNMDA;    // nS
  std::vector<double> Meander;  // pA, meander current of the sample's state
  std::vector<double> V;        // mV, compensated membrane voltage
  std::vector<double> Ireal;    // pA, measured current, delayed and filtered
  std::vector<std::int32_t> State;       // MeanderState index 0..9
  std::vector<std::int32_t> PeriodFlaw;  // 1 where a period began before the meander ended
  std::vector<std::int32_t> Switch;      // 1 at states 2, 5, 8
  double Vend = 0;  // mV, computed by the meander pass for what follows it

  // What the per-sample arrays describe: the slot and its last sample at the
  // last pass (slot 0 when the last pass was refused), and the settings the
  // pass read. The pulse analysis checks the slot, so that it never reads
  // another sweep's samples; the settings tell a record made before an edit.
  int slot = 0;
  int nLast = -1;
  CompensatedWith madeWith;
};

}  // namespace velmora
