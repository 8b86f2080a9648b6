#pragma once
// The analysis settings: the option fields of the main window and its other
// tabs, with their design defaults. The app binds widgets to these; the CLI
// starts from StartupSettings().

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

// What the windows show that decides what an analysis draws (boxes on the
// charts, which window or page is visible).
struct ViewState {
  bool showCommandIG = true;    // "Show command I and G" of the current chart
  bool alignCurrent = false;    // "Align to stimuli" of the current chart
  bool alignFC = false;         // "Align to stimuli" of the firing-clamp chart
  bool lfpVisible = false;      // the LFP window is shown
  double lfpTau = 0.5;          // ms, "Filter time constant, ms" of the LFP window
  bool lissajousActive = false; // the "Lissajous" page is the active page
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
  int parameterSet = 1;            // "Adjusted sets of parameters": 0 "Default", 1 "Kelmar's set of parameters"
  bool NegPulseD = false;          // plot selection of the firing-clamp charts
};

// Replaces the fields of item 0 ("Default") or 1 ("Kelmar's set of
// parameters"); the fields an item does not name keep their values.
void ApplyParameterSet(Settings& settings, int item);

// The design defaults with the start-up set (item 1) applied, as the program
// stands when its main window is first shown.
Settings StartupSettings();

}  // namespace velmora
