#include <gtest/gtest.h>

#include <string>

#include "recording/Stimulus.h"

namespace velmora {
namespace {

void ExpectStimulus(const Stimulus& s, double Icom, double Gcom, double Aux, double gNMDAcom,
                    const std::string& where) {
  EXPECT_NEAR(s.Icom, Icom, 1e-9) << where;
  EXPECT_NEAR(s.Gcom, Gcom, 1e-9) << where;
  EXPECT_NEAR(s.Aux, Aux, 1e-9) << where;
  EXPECT_NEAR(s.gNMDAcom, gNMDAcom, 1e-9) << where;
}

// Every field set, so that a kind that leaks another kind's values shows up.
RecordingParameters Protocol(int ProtocolKind, int WaveKind = 0) {
  RecordingParameters par;
  par.ProtocolKind = ProtocolKind;
  par.tStimStart = 10;
  par.tStimEnd = 1000;
  par.Vus = -70;
  par.ClampWave = {.I0 = 50, .G0 = 4, .E0 = -20, .TI = 100, .TG = 100, .GEamp = 2, .GIamp = 3,
                   .gNMDAamp = 1, .TGE = 0, .TGI = -5, .TgNMDA = 100, .EI = -80,
                   .WaveKind = WaveKind};
  par.StepPars = {.Ifirst = -100, .Ilast = 300, .CmdScale = 2, .nSteps = 5};
  par.GridPars = {.IgFirst = -30, .IgLast = 270, .GgFirst = 4, .GgLast = 24, .tIOn = 100,
                  .tIOff = 200, .tGOn = 150, .tGOff = 300, .nI = 4, .nG = 3, .GridKind = 1,
                  .ITable = {5, 6, 7, 8}, .GTable = {50, 60, 70}};
  return par;
}

// Kinds without a stimulus model must not play another kind's parameters.
TEST(StimulusAt, KindsWithoutModelGiveZeros) {
  for (int kind : {0, 5, 6, -1})
    ExpectStimulus(StimulusAt(Protocol(kind), 3, 500), 0, 0, 0, 0,
                   "ProtocolKind " + std::to_string(kind));
}

// The 3rd of 5 steps from -100 to 300 pA is 100 pA, inside [tStimStart, tStimEnd) only;
// G0 and E0 hold throughout. One step would divide by nSteps - 1 = 0: it plays Ifirst.
TEST(StimulusAt, CurrentSteps) {
  RecordingParameters par = Protocol(2);
  ExpectStimulus(StimulusAt(par, 3, 10), 100, 4, -20, 0, "at tStimStart");
  ExpectStimulus(StimulusAt(par, 3, 5), 0, 4, -20, 0, "before");
  ExpectStimulus(StimulusAt(par, 3, 1000), 0, 4, -20, 0, "at tStimEnd");
  for (int nSteps : {1, 0}) {
    par.StepPars.nSteps = nSteps;
    ExpectStimulus(StimulusAt(par, 3, 500), -100, 4, -20, 0, "nSteps " + std::to_string(nSteps));
  }
}

// Each waveform kind at times where sin and cos are known exactly; protocol 4 plays as 1.
TEST(StimulusAt, ClampWaveformKinds) {
  struct Case { int kind; double t, Icom, Gcom, Aux, gNMDAcom; };
  const Case cases[] = {
      {0, 500, 50, 4, -20, 0},
      {1, 25, 50, 4, 0, 0},     // sin(π/2) = 1
      {2, 50, 50, 0, 0, 0},     // cos(π) + 1 = 0
      {3, 75, -50, 4, 0, 0},    // sin(3π/2), cos(3π/2) + 1
      {4, 25, 0, 4, 0, 0},      // square wave: off in the first half-period,
      {4, 49.9, 0, 4, 0, 0},
      {4, 50.1, 50, 4, 0, 0},   // I0 in the second
      {4, 99.9, 50, 4, 0, 0},
      {5, 100, 2 * 70 + 3 * -10, 5, 0, 2},  // TGE = 0, TGI < 0: constant; NMDA cos(2π) + 1
      {6, 500, 0, 0, 0, 0},
  };
  for (int protocol : {1, 4})
    for (const Case& c : cases)
      ExpectStimulus(StimulusAt(Protocol(protocol, c.kind), 1, c.t), c.Icom, c.Gcom, c.Aux,
                     c.gNMDAcom,
                     "protocol " + std::to_string(protocol) + " kind " + std::to_string(c.kind) +
                         " t " + std::to_string(c.t));
}

// A damaged file with a period of 0 must not put NaN in the charts: the waveform keeps its t = 0 value.
TEST(StimulusAt, NonPositivePeriodsGiveFiniteCommands) {
  for (int kind : {1, 2, 3, 4}) {
    RecordingParameters par = Protocol(1, kind);
    par.ClampWave.TI = 0;
    par.ClampWave.TG = -1;
    const Stimulus s = StimulusAt(par, 1, 37);
    EXPECT_EQ(s.Icom, kind == 2 ? 50 : 0) << kind;
    EXPECT_EQ(s.Gcom, kind == 2 || kind == 3 ? 8 : 4) << kind;
  }
}

// Outside [tStimStart, tStimEnd) the waveform is off unless WaveAlways = 1.
TEST(StimulusAt, ClampWaveformWindowAndWaveAlways) {
  for (double t : {5.0, 1000.0, 2000.0}) {
    RecordingParameters par = Protocol(1, 0);
    ExpectStimulus(StimulusAt(par, 1, t), 0, 0, 0, 0, "window, t " + std::to_string(t));
    par.ClampWave.WaveAlways = 1;
    ExpectStimulus(StimulusAt(par, 1, t), 50, 4, -20, 0, "always, t " + std::to_string(t));
  }
}

// Sweep 6 of a grid 4 currents wide is cell i = 2, j = 2; tables are not scaled.
TEST(StimulusAt, GridCellOfSweep) {
  RecordingParameters par = Protocol(3);
  ExpectStimulus(StimulusAt(par, 6, 120), 140, 0, 0, 0, "current window only");
  ExpectStimulus(StimulusAt(par, 6, 160), 140, 28, 0, 0, "both windows");
  ExpectStimulus(StimulusAt(par, 6, 250), 0, 28, 0, 0, "conductance window only");
  ExpectStimulus(StimulusAt(par, 6, 300), 0, 0, 0, 0, "at tGOff");
  par.GridPars.GridKind = 3;
  ExpectStimulus(StimulusAt(par, 6, 160), 6, 60, 0, 0, "tables");
}

// Degenerate grids must give a defined value, never a division by zero or a read past a table.
TEST(StimulusAt, DegenerateGridGuards) {
  struct Case { const char* name; int nI, nG, GridKind, FileNo; double Icom, Gcom; };
  const Case cases[] = {
      {"nI = 0 is cell 1, 1", 0, 3, 1, 6, -60, 8},
      {"nI = 0 is cell 1, 1 of the tables", 0, 3, 3, 6, 5, 50},
      {"nG = 1 plays GgFirst", 4, 1, 1, 6, 140, 8},
      {"table index past the end", 4, 3, 3, 16, 8, 0},
      {"sweep 0 has no table entry", 4, 3, 3, 0, 0, 50},
      {"GridKind 0", 4, 3, 0, 6, 0, 0},
      {"GridKind 4", 4, 3, 4, 6, 0, 0},
  };
  for (const Case& c : cases) {
    RecordingParameters par = Protocol(3);
    par.GridPars.nI = c.nI;
    par.GridPars.nG = c.nG;
    par.GridPars.GridKind = c.GridKind;
    ExpectStimulus(StimulusAt(par, c.FileNo, 160), c.Icom, c.Gcom, 0, 0, c.name);
  }
}

// A file without a waveform kind takes the choice; a known kind is shown, but never by
// switching to "Ireal is absent", which would overwrite the measured current. The
// choice itself is the user's: reading a file never changes it.
TEST(ReconcileWaveKind, ChoiceAndKindAgree) {
  using LP = LostParameters;
  struct Case { int kindIn; LP choiceIn; int kindOut; LP choiceOut; };
  const Case cases[] = {
      {-13, LP::IConstGCos, 2, LP::IConstGCos},
      {-1, LP::IrealAbsent, 5, LP::IrealAbsent},
      {3, LP::ISinGConst, 3, LP::ISinGCos},
      {3, LP::IrealAbsent, 3, LP::IrealAbsent},
      {5, LP::ISinGConst, 5, LP::ISinGConst},
      {9, LP::Constant, 9, LP::Constant},
  };
  for (const Case& c : cases) {
    ClampWaveRec wave;
    wave.WaveKind = c.kindIn;
    ReconcileWaveKind(wave, c.choiceIn);
    EXPECT_EQ(wave.WaveKind, c.kindOut) << "kind " << c.kindIn;
    EXPECT_EQ(ChoiceOfKind(wave, c.choiceIn), c.choiceOut) << "kind " << c.kindIn;
  }
}

}  // namespace
}  // namespace velmora
