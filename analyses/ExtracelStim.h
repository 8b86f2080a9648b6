#pragma once
// Extracellular stimulation artefacts on the measured current: the stimulus
// times of a sweep, and the alignment of other plots to them.

#include <filesystem>
#include <vector>

#include "charts/Chart.h"
#include "recording/Recording.h"
#include "session/Errors.h"
#include "session/WarningSink.h"

namespace velmora {

struct StimSettings {
  double ddI_limit = 5000;  // "ddI_limit"
  double frequency = 2;     // Hz, "Stimulation frequency, Hz"
};

// Finds the stimulus times (ms, element 0 = the first stimulus, at most 200)
// of slot `slot` from the artefacts on its Ireal plane, fills the chart of the
// stimulus window ("Ireal", "Iextract", "Stimuli") and writes them to
// `stimFile`.
Status FindStimulationArtifacts(const Recording& rec, int slot, const StimSettings& settings,
                                std::vector<double>& StimTimes, Chart& stimChart,
                                const std::filesystem::path& stimFile, WarningSink& warnings);

// The time since the latest stimulus at or before t (ms); 0 before the first
// and at a stimulus. `idx` is the caller's running index (0 before a scan;
// idx k >= 1 stands for StimTimes[k - 1]); callers scan t in increasing order.
double AlignToStimulus(double t, int& idx, const std::vector<double>& StimTimes);

}  // namespace velmora
