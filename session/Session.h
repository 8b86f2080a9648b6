#pragma once
// The program-wide state: one object, passed by reference to every analysis.
// What the windows show lives here as chart models; settings live apart (Settings).

#include <filesystem>
#include <string>
#include <vector>

#include "charts/Chart.h"
#include "firingclamp/ApproximateFC.h"
#include "firingclamp/Averaging.h"
#include "firingclamp/EstimateFC.h"
#include "firingclamp/FCRecord.h"
#include "firingclamp/Lattice.h"
#include "firingclamp/Pulses.h"
#include "recording/AltFormats.h"
#include "recording/ListOfFiles.h"
#include "recording/Recording.h"
#include "recording/TraceFile.h"
#include "spikes/Spikes.h"

namespace velmora {

struct Charts {
  Chart voltage;        // "Plots": left "mV"
  Chart current;        // "Plots": bottom "ms", left "pA", right "nS"
  Chart lfp;            // "Form10: LFP"
  Chart overlay;        // "Form3": superimposed interspike voltage
  Chart fiCurrent;      // "Form2: F_I_curves", against the clamp current
  Chart fiConductance;  // "Form2: F_I_curves", against the clamp conductance
  Chart stimulus;       // "Form6: current": stimulation artefacts
};

// The firing-clamp views: the "Firing-Clamp" and "Approximate_FC" tabs and
// the estimations window.
struct FiringClampCharts {
  Chart time;           // "V", "Markers" and the pulse features; left "mV", NegPulseDur and dVdt right
  Chart vsI;            // correlations against I: bottom "I", left "mV", right "ms, mV/ms"
  Chart vsG;            // correlations against G: bottom "G"
  ComparisonCharts comparison;  // "Draw approximated versus true z1, z2"
  LatticeFrame lattice1, lattice2;
  EstimationCharts estimations = MakeEstimationCharts();
};

// What the loaded sweeps were read from: the data directory and the
// settings of the read. Results derive from the data loaded for their
// action; a change of directory unloads, so that nothing older is drawn or
// filed as current.
struct LoadedData {
  std::filesystem::path dataDir;  // empty: nothing is loaded
  FileFormat format = FileFormat::Main;
  LoadSettings load;              // "Analyze since t0", "Lost parameters" as read
  unsigned long generation = 0;   // counts the loads of this session
};

struct Session {
  Recording rec;
  LoadedData loaded;
  SpikeList spikes;
  FCRecord FC;  // of the firing-clamp sweep prepared last
  Pulses pulses;        // of the firing-clamp sweep analysed last
  ApproxState approx;   // the last successful approximation
  Averages averages;    // of the estimates, by time bin
  Lattice lattice;      // as last drawn, for "Write"
  FiringClampCharts fcCharts;
  SpikeSettings spikeRecords;  // the spike settings as taken over at the last header step
  VarnelFiles files;
  VarnelHeader header;
  std::vector<double> StimTimes;  // ms; element 0 is the first stimulus
  Charts charts;
  // Fields the analyses write for the window and read back.
  double gClamped = 0;  // nS, "g_Clamped"
  double iClamped = 0;  // pA, "I_Clamped"
  double Bridge = 0;    // "Bridge"
  // Data directories and their list of recordings.
  std::filesystem::path homeDir;  // where "PreviousDir.txt" lives
  std::filesystem::path dataDir;
  std::vector<ListedRecording> listed;
};

}  // namespace velmora
