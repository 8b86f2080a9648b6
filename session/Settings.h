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
#include "recording/AltFormats.h"
#include "recording/Filter.h"
#include "recording/TraceFile.h"
#include "spikes/Spikes.h"

namespace velmora {

// Group "F-I-curves " and the fields beside it.
struct FISettings {
  double LimitInterval = 8888888;     // ms, "Limit interval for analysis by ... ms"
  bool CutTrain = true;               // "Cut spike train if ISI changes in ... times"
  double CutFactor = 5;               // its field
  double nuLastMinSpikes = 2;         // "Calculate  nu_Last  if number of spikes >"
  bool nuLastLastThird = false;       // "Calculate nu_Last  on last 1/3 of stim. period"
  bool nuLastLastTwoThirds = false;   // "Calculate nu_Last  on last 2/3 of stim. period"
  bool nuLastZeroOnBreak = false;     // "nu_Last=0 if a break in spike train occurs"
  bool ZeroOnBreak = false;           // "VT etc. = 0  if a break occurs"
  double ToBeAbove = 0;               // "to be > " (least bridge value)
  bool AppendOutput = true;           // "Append output files" (else "Rewrite output files")
};

// Group "Offline electrode compensation" of the "Compensation" tab; copied
// into the firing-clamp record whenever a sweep is read.
struct CompensationSettings {
  double G1 = 0;          // nS, "G1,nS"
  double C1C = 0;         // "C1/C"
  CompensationMode mode = CompensationMode::CGAfterEstimationNoMeander;  // the list, item 4
  double DelayI = 5;      // samples, the first "delays" field, truncated
  double DelayT = 5;      // samples, the second
  double DelayV = 8;      // samples, the third
  double tauIfilt = 0;    // us, "tau_Ifilt, mus"
};

// Group "Which to plot" of the two correlation charts of the "Firing-Clamp"
// tab; the box "NegPulseD" is Settings::NegPulseD, which the parameter sets change.
struct WhichToPlot {
  bool subV = true;
  bool VT = false;
  bool PulseV_VT = true;  // "PulseV-VT"
  bool PulseV = false;
  bool dVdt = false;
  bool VHalfPulse = false;
  bool dVdt_V1 = false;
  bool dVdt_V2 = false;
};

// The pages of the main window's page control, by index.
enum class MainPage { Plots = 0, Options = 1, Lissajous = 2, FiringClamp = 3, ApproximateFC = 4 };

// What the windows show that decides what an analysis draws (boxes on the
// charts, which window or page is visible).
struct ViewState {
  bool showCommandIG = true;    // "Show command I and G" of the current chart
  bool alignCurrent = false;    // "Align to stimuli" of the current chart
  bool alignFC = false;         // "Align to stimuli" of the firing-clamp chart
  bool lfpVisible = false;      // the LFP window is shown
  double lfpTau = 0.5;          // ms, "Filter time constant, ms" of the LFP window
  bool lissajousActive = false; // the "Lissajous" page is the active page
  MainPage page = MainPage::Plots;   // the page shown; the firing-clamp driver may switch it
  bool estimationsVisible = false;   // "Form5: Estimations_FC" is shown: the driver estimates
  bool currentWindowVisible = false; // "Form6: current" is shown: the driver marks the pulses on it
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
  ViewState view;
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
