#pragma once
// The analysis settings: the option fields of the main window and its other
// tabs, with their design defaults. The app binds widgets to these; the CLI
// starts from StartupSettings().

#include "analyses/ExtracelStim.h"
#include "firingclamp/ApproximateFC.h"
#include "firingclamp/Averaging.h"
#include "firingclamp/EstimateFC.h"
#include "firingclamp/FCRecord.h"
#include "firingclamp/Pulses.h"
#include "firingclamp/Meander.h"
#include "firingclamp/RunOutputs.h"
#include "recording/AltFormats.h"
#include "recording/Filter.h"
#include "recording/TraceFile.h"
#include "spikes/FICurves.h"
#include "spikes/Spikes.h"

namespace velmora {

// How a sweep is drawn: the boxes on the charts and the LFP window's filter.
struct DrawSettings {
  bool showCommandIG = true;  // "Show command I and G" of the current chart
  bool alignCurrent = false;  // "Align to stimuli" of the current chart
  bool alignFC = false;       // "Align to stimuli" of the firing-clamp chart
  double lfpTau = 0.5;        // ms, "Filter time constant, ms" of the LFP window
};

struct Settings {
  FileFormat format = FileFormat::Main;
  LoadSettings load;               // "Analyze since t0", "Lost parameters"
  double Smpl = 1;                 // the sweep selector
  double nDraw = 1;                // "n_Draw"
  double nPointer = 40;            // "n_Pointer"
  double Skip = 30;                // "Skip"
  double PointsSizeIncrease = 0;   // "Points' size increase"
  SpikeSettings spikes;
  FilterSettings filter;
  FISettings fi;
  DrawSettings draw;
  StimSettings stim;               // "ddI_limit", "Stimulation frequency, Hz" of the artefact window
  int parameterSet = 1;            // "Adjusted sets of parameters": 0 "Default", 1 "Kelmar's set of parameters"
  bool NegPulseD = false;          // plot selection of the firing-clamp charts
  // The firing-clamp analysis.
  CompensationSettings compensation;
  FCSettings fc;                   // "Firing-Clamp" tab and the analytic estimate's group
  WhichToPlot whichToPlot;
  ApproxSettings approx;           // "Approximate_FC" tab and the "Saturation" tab
  PrecisionSettings precision;     // "Precision and tolerance"
  EstimationsWindowSettings estimations;  // "Form5: Estimations_FC"
  int latticeSurface1 = 1;         // selector of the first lattice frame: 1 'z1', 2 'z2', 3 'z3'
  int latticeSurface2 = 2;         // of the second
};

// Replaces the fields of item 0 ("Default") or 1 ("Kelmar's set of
// parameters"); the fields an item does not name keep their values.
void ApplyParameterSet(Settings& settings, int item);

// The design defaults with the start-up set (item 1) applied, as the program
// stands when its main window is first shown.
Settings StartupSettings();

}  // namespace velmora
