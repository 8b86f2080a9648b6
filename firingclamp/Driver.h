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
#include "firingclamp/FCRecord.h"
#include "firingclamp/Pulses.h"
#include "base/Errors.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "base/WarningSink.h"

namespace velmora {

inline constexpr std::string_view kTrueIGFileName = "True_I_G(t).dat";

// Copies the group "Offline electrode compensation" into FC (the delays
// truncated to whole samples, tau_Ifilt from us to s); done at every read of
// a sweep, so a change takes effect at the next read.
void CopyCompensationToFC(const CompensationSettings& settings, FCRecord& FC);

// The time chart of the "Firing-Clamp" tab, the measured current of the
// current window and "True I", "True G" of the estimations window, from the
// sweep in slot k as FC prepared it, and the pulses' features at their times.
// Times are aligned to session.StimTimes when the firing-clamp chart's
// "Align to stimuli" is ticked. Sets the flaw label.
void DrawFC(Session& session, int k, const Settings& settings);

// Adds one point per valid pulse and ticked box to the correlation charts
// against I and G; the points accumulate over files and runs.
void DrawCorrelations(const Pulses& p, const WhichToPlot& boxes, bool NegPulseD, FiringClampCharts& charts);

// "Erase calibration": empties the correlation series of every box but
// "dVdt_V1" and "dVdt_V2", which are kept.
void ClearCorrelationPlots(FiringClampCharts& charts);

enum class PulseFileMode { Append, Clean };

// `dir`/"I_G_VT_dV_subV_PulseV_PulseDur.dat". Append: one line per valid
// pulse, I, G, VT, PulseV_VT, subV, PulseV, NegPulseDur, dVdt, VHalfPulse,
// tPulse, gNMDA, dVdt_V1, dVdt_V2, each 8:3, one blank between, CR LF;
// a file left empty is removed. Clean: the file is removed.
Status WritePulseFile(const std::filesystem::path& dir, const Pulses& p, PulseFileMode mode);

// `dir`/"True_I_G(t).dat", created anew: for every 10th sample i of slot k,
// i dt (ms, without t0) and the command Icom, Gcom, gNMDAcom at the time of
// sample i - 2 (with t0), each 8:3.
Status WriteTrueIG(const Recording& rec, int k, const std::filesystem::path& dir);

// The estimates of the valid pulses against the command the recording
// carries (each pulse's I and G): pulses 1..nPulses, or 2..nPulses for the
// regression kinds, which leave pulse 1 without an estimate.
struct EstimateSummary {
  int first = 1, last = 0;            // the pulses summarised
  double meanIest = 0, meanGest = 0;  // pA, nS
  double meanI = 0, meanG = 0;        // pA, nS: the command
  double rmsI = 0, rmsG = 0;          // pA, nS: RMS of Iest - I and of Gest - G
};
EstimateSummary SummarizeEstimates(const Pulses& p, ApproxKind kind);

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
};

// The whole run, as a click in the list of files starts it: `selected`
// (entries of session.listed) are loaded into slots 1, 2, ...; the page
// switches to "Firing-Clamp" for a firing-clamp recording shown on the
// "Plots" page, and back for another one shown on "Firing-Clamp"; then,
// only while the "Firing-Clamp" or "Approximate_FC" page is shown, every
// firing-clamp recording is prepared again from its own samples and
// analysed, drawn, written to the calibration file (settings.fc.writeInFile),
// approximated (settings.fc.approximate; a failure ends the run) and
// estimated (also settings.view.estimationsVisible). A recording not
// analysed is not read again: iFile and the recording state stay those of
// the sweep read last. Each step's text goes
// to warnings.Status and session.fcCharts.status. Errors: nothing selected,
// a recording that cannot be read, a file that cannot be written.
Result<FiringClampRun> FiringClampDriver(Session& session, Settings& settings, const std::vector<int>& selected,
                                         WarningSink& warnings);

}  // namespace velmora
