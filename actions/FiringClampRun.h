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
#include "actions/ReadAndDraw.h"
#include "base/Errors.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "base/WarningSink.h"

namespace velmora {

// The pages of the main window's page control, by index: the page shown
// decides whether a run analyses pulses, and the run says which page fits.
enum class MainPage { Plots = 0, Options = 1, Lissajous = 2, FiringClamp = 3, ApproximateFC = 4 };

// The time chart of the "Firing-Clamp" tab, the measured current of the
// current window and "True I", "True G" of the estimations window, from the
// sweep in slot k as FC prepared it, and the pulses' features at their times.
// Times are aligned to session.StimTimes when the firing-clamp chart's
// "Align to stimuli" is ticked. The pulses are marked on the current
// window's current when that window is shown.
void DrawFC(Session& session, int k, const Settings& settings, const ShownWindows& shown);

// What the run did with one selected recording.
struct FiringClampFile {
  int slot = 0;
  std::string name;
  bool analysed = false;  // a firing-clamp recording with the firing-clamp page shown
  int nPulses = 0, nFlaws = 0;
  bool approximated = false;
  std::optional<EstimationReport> estimation;  // when estimated
  EstimateSummary summary;                     // when estimated
  std::optional<Pulses> pulses;                // when analysed: its pulses, estimates included
};

// Estimated, yet not one pulse has an estimate: every one was a flaw or
// failed (no convergence, zero variance, a bad correction, not finite).
bool NothingEstimated(const FiringClampFile& file);

struct FiringClampRun {
  std::vector<FiringClampFile> files;
  bool approximationFailed = false;  // the run ended at that file's "Approximation"
  MainPage page = MainPage::Plots;  // the page to show: the firing-clamp one for a firing-clamp recording
  std::string lastStep;             // the step the run ended at ("Done", "Approximation", ...)
};

// The whole run, as a click in the list of files starts it with `page`
// shown: `selected` (entries of session.listed) are loaded into slots 1,
// 2, ...; the page to show becomes "Firing-Clamp" for a firing-clamp
// recording shown on the "Plots" page, and "Plots" for another one shown on
// "Firing-Clamp"; then, only when that page is "Firing-Clamp" or
// "Approximate_FC", every firing-clamp recording is prepared again from its
// own samples and analysed, drawn, written to the calibration file
// (settings.fc.writeInFile), approximated (settings.fc.approximate; a
// failure ends the run) and estimated (also shown.estimations). Each step's
// text goes to warnings.Status. Errors: nothing selected, a recording that
// cannot be read, a file that cannot be written.
Result<FiringClampRun> FiringClampDriver(Session& session, const Settings& settings, const std::vector<int>& selected,
                                         WarningSink& warnings, MainPage page, const ShownWindows& shown = {});

// What a run over a data directory is asked for besides the settings.
struct FiringClampRequest {
  bool calibrate = false;                 // "Calibrate": the pulses go to the calibration file
  bool eraseCalibration = false;          // "Erase calibration" before the run
  std::optional<ApproxKind> approximate;  // "Approximate" with this kind after each recording
  bool estimate = false;                  // also estimate I and G (kind 5 unless `approximate` says)
};

// The boxes the request stands for: "Write in file" for a calibration, and
// "Approximate" only when an approximation or estimation is asked for, so
// that a plain run analyses without needing a calibration.
void ApplyRequest(Settings& settings, const FiringClampRequest& request);

// The run over the recordings of `dir`'s "ListOfFiles" named in `names`
// (every one when there are none), as on the "Firing-Clamp" tab, with the
// estimations shown when an estimate is asked for. The directory is held
// from before the list is read to the end. The settings are used as they
// are: see ApplyRequest.
Result<FiringClampRun> FiringClampRunOfDirectory(Session& session, const Settings& settings,
                                                 const std::filesystem::path& dir,
                                                 const std::vector<std::string>& names,
                                                 const FiringClampRequest& request, WarningSink& warnings);

}  // namespace velmora
