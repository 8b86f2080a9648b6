#pragma once
// The firing-clamp run over the recordings selected in the list of files:
// each one is prepared, its pulses analysed, drawn and (in calibration runs)
// appended to the calibration file, and, in approximation runs, the
// surfaces are refitted and the current and conductance estimated. Also the
// plots and files of that run: the time chart, the correlation charts, the
// calibration file and "True_I_G(t).dat".

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firingclamp/EstimateFC.h"
#include "firingclamp/RunOutputs.h"
#include "firingclamp/FCRecord.h"
#include "firingclamp/Pulses.h"
#include "base/Errors.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "base/WarningSink.h"

namespace velmora {

// The time chart of the "Firing-Clamp" tab, the measured current of the
// current window and "True I", "True G" of the estimations window, from the
// sweep in slot k as FC prepared it, and the pulses' features at their times.
// Times are aligned to session.StimTimes when the firing-clamp chart's
// "Align to stimuli" is ticked. Sets the flaw label.
void DrawFC(Session& session, int k, const Settings& settings);

// What the run did with one selected recording.
struct FiringClampFile {
  int slot = 0;
  std::string name;
  bool analysed = false;  // a firing-clamp recording with the firing-clamp page shown
  int nPulses = 0, nFlaws = 0;
  bool approximated = false;
  std::optional<EstimationReport> estimation;  // when estimated
  EstimateSummary summary;                     // when estimated
};

struct FiringClampRun {
  std::vector<FiringClampFile> files;
  bool approximationFailed = false;  // the run ended at that file's "Approximation"
  int shownSlot = 0;  // the sweep drawn on the main charts after the run; 0: the one the load drew
};

// The whole run, as a click in the list of files starts it: `selected`
// (entries of session.listed) are loaded into slots 1, 2, ...; the page
// switches to "Firing-Clamp" for a firing-clamp recording shown on the
// "Plots" page, and back for another one shown on "Firing-Clamp"; then,
// only while the "Firing-Clamp" or "Approximate_FC" page is shown, every
// firing-clamp recording is prepared again from its own samples and
// analysed, drawn, written to the calibration file (settings.fc.writeInFile),
// approximated (settings.fc.approximate; a failure ends the run) and
// estimated (also settings.view.estimationsVisible). Each step's text goes
// to warnings.Status and session.fcCharts.status. Errors: nothing selected,
// a recording that cannot be read, a file that cannot be written.
Result<FiringClampRun> FiringClampDriver(Session& session, Settings& settings, const std::vector<int>& selected,
                                         WarningSink& warnings);

}  // namespace velmora
