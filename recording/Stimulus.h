#pragma once
// The command that the dynamic-clamp recorder played, recomputed from the
// protocol parameters: the trace files hold the voltage and the currents but
// not the conductance.

#include "recording/Recording.h"

namespace velmora {

struct Stimulus {
  double Icom = 0;      // pA, command current
  double Gcom = 0;      // nS, command conductance
  double Aux = 0;       // third output: E0 of the constant waveform and of the step protocol
  double gNMDAcom = 0;  // nS, NMDA conductance of waveform kind 5
};

// The command of sweep `FileNo` (1-based position in the protocol) at `t`,
// ms from the start of the recording. Protocol kinds 0 and 5 play nothing,
// 1 and 4 the clamp waveform, 2 current steps, 3 an I-G grid; any other kind
// gives zeros.
//
// Where the protocol's own arithmetic would divide by zero or read past a
// table, the result is:
//  - steps with nSteps <= 1: every sweep gets Ifirst;
//  - a grid with nI < 1: every sweep is cell i = j = 1; nI or nG = 1 already
//    gives the first value;
//  - GridKind 3 with an index outside ITable / GTable: 0 for that output;
//  - GridKind other than 1, 2, 3: 0 for both grid outputs;
//  - waveform kinds 1..4 with a period TI or TG <= 0: an infinitely long
//    period, i.e. the value at t = 0 (kind 5 plays such a part constant).
Stimulus StimulusAt(const RecordingParameters& par, int FileNo, double t);

// Run when a firing-clamp sweep is loaded: a file without a waveform kind
// (WaveKind < 0) takes the item chosen under "Lost parameters".
void ReconcileWaveKind(ClampWaveRec& wave, LostParameters choice);

// The "Lost parameters" item that names the kind of a loaded firing-clamp
// sweep: the file's kind 0..4, else the choice; "Ireal is absent" is never
// left for a kind, nor taken for one (it would overwrite the measured current).
LostParameters ChoiceOfKind(const ClampWaveRec& wave, LostParameters choice);

}  // namespace velmora
