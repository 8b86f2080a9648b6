#pragma once
// Extracellular stimulation artefacts on the measured current: the stimulus
// times of a sweep, and the alignment of other plots to them.

#include <filesystem>
#include <span>
#include <vector>

#include "charts/Chart.h"
#include "recording/Recording.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

struct StimSettings {
  double ddI_limit = 5000;  // "ddI_limit"
  double frequency = 2;     // Hz, "Stimulation frequency, Hz"
};

// Finds the stimulus times (ms, element 0 = the first stimulus, at most 200)
// of slot `slot` from the artefacts on its Ireal plane, fills "Iextract" and
// "Stimuli" of the stimulus window's chart (its "Ireal" and "Pointer" are the
// firing-clamp plots') and writes the times to `stimFile`.
Status FindStimulationArtifacts(const Recording& rec, int slot, const StimSettings& settings,
                                std::vector<double>& StimTimes, Chart& stimChart,
                                const std::filesystem::path& stimFile, WarningSink& warnings);

// The current smoothed by a 3-point mean (the ends kept as they are), and
// the residual whose second difference marks the artefacts.
struct DetectionSignal {
  std::vector<double> CurrentSmooth3;  // pA, samples 0..nLast
  std::vector<double> DetectSignal;    // pA
};

// From the Ireal plane of `sweep`; draws the residual as "Iextract" (ms, pA).
DetectionSignal BuildDetectionSignal(const SweepSlot& sweep, double dt, Chart& stimChart);

// Stimulus times (ms) from the second difference of `DetectSignal`: a
// threshold search from settings.ddI_limit down by factors of 1.2, then the
// removal of detections off the nominal period and the filling of missed
// ones. Draws them as "Stimuli"; reports each limit tried as a status.
// A frequency outside (0, 1000] Hz or a limit that is not a number is an
// Error and leaves StimTimes as it was.
Status FindArtifactTimes(std::span<const double> DetectSignal, double dt, const StimSettings& settings,
                         std::vector<double>& StimTimes, Chart& stimChart, WarningSink& warnings);

// The time since the latest stimulus at or before t (ms); 0 before the first
// and at a stimulus. `idx` is the caller's running index (0 before a scan;
// idx k >= 1 stands for StimTimes[k - 1]); callers scan t in increasing order.
double AlignToStimulus(double t, int& idx, const std::vector<double>& StimTimes);

}  // namespace velmora
