#pragma once
// The read-and-draw pipeline: what runs whenever a sweep is read or another
// sweep is picked. It reads the sweep in the chosen format, filters it, finds
// the extracellular stimuli when the charts are aligned to them, draws
// voltage, currents, command and LFP, and detects and shows the spikes.

#include <vector>

#include "base/Errors.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "base/WarningSink.h"

namespace velmora {

// The windows an action may draw into that are shown: what no window shows
// is not drawn.
struct ShownWindows {
  bool lfp = false;            // "Form10: LFP": the sweep's LFP is drawn
  bool currentWindow = false;  // "Form6: current": the pulses are marked on its current
  bool estimations = false;    // "Form5: Estimations_FC": a run that approximates also estimates
};

// No series gets more points than this.
inline constexpr int kMaxDrawnPoints = 560'000;

// The ".stim" file of the sweep in `slot`: beside its trace, or beside the
// voltage file in the column formats, which have no trace per sweep.
std::filesystem::path StimFileOf(const Session& session, int slot);

// Takes over the spike settings (session.spikeRecords), then reads the
// headers of the column formats into session.header, session.gClamped and
// session.Bridge; the main format has none.
Status ReadFormatHeaders(Session& session, const Settings& settings, WarningSink& warnings);

// Reads slot j again in the chosen format and filters its voltage (never for
// a firing-clamp recording). A slot loaded from a main-format trace is not
// read from its files again: RestoreSweep brings back the state its load
// left, and its voltage is filtered only if it has not been already; the
// files are read again when the slot cannot serve (another file name, "Analyze
// since t0" or Ireal choice, or a voltage filtered otherwise).
Status ReadSweep(Session& session, int j, const Settings& settings, WarningSink& warnings);

// Filters together, before a run over every loaded slot, the voltages that
// ReadSweep would filter one by one (the main format's slots it restores,
// not filtered yet): the same voltages in a fraction of the time.
void FilterLoadedSweeps(Session& session, const Settings& settings);

// Refills the voltage, current and LFP charts with slot j, every Skip-th
// sample, and sets session.gClamped / iClamped to the clamp of the sweep.
void DrawSweep(Session& session, int j, const Settings& settings, const ShownWindows& shown = {});

// The slot a read-and-draw shows: trunc(Smpl) limited to 1..nFiles, the
// upper limit first so that nFiles = 0 gives 1.
int SlotToShow(double Smpl, int nFiles);

struct DrawnSweep {
  int slot = 1;
  bool spikesDetected = false;  // false: a firing-clamp or SpikesOff recording kept the old list
};

// The whole pipeline for the sweep in `slot` (limited to the loaded ones as
// SlotToShow limits "Smpl"), which becomes rec.iFile. `scannedAhead`, when
// given, is the spike list that the detection would leave, made beforehand
// from this very slot (see ScanAhead): it takes the detection's place.
Result<DrawnSweep> ReadAndDraw(Session& session, int slot, const Settings& settings, WarningSink& warnings,
                               const ShownWindows& shown = {}, SpikeList* scannedAhead = nullptr);

// Told of each sweep as LoadSelection puts it into its slot, with the number
// still to be read after it, so that work on it can begin while those are
// read. The slot table does not move during the load. Abandon comes before a
// failed load unloads the slots.
class LoadObserver {
 public:
  virtual ~LoadObserver() = default;
  virtual void Loaded(SweepSlot& slot, const SweepReading* kept, int left) = 0;
  virtual void Abandon() = 0;
};

// Loads the selected entries of session.listed (0-based, taken in list
// order; names relative to session.dataDir) into slots 1, 2, ..., each
// trace read once, then nFiles := their number; draws nothing.
// What was loaded before is unloaded first; a failed read leaves nothing
// loaded.
Status LoadSelection(Session& session, const Settings& settings, const std::vector<int>& selected,
                     WarningSink& warnings, LoadObserver* observer = nullptr);

// LoadSelection, then ReadAndDraw of sweep 1 when any was loaded: the
// window's "Smpl" goes to 1.
Status LoadSelectedSweeps(Session& session, const Settings& settings, const std::vector<int>& selected,
                          WarningSink& warnings, const ShownWindows& shown = {});

}  // namespace velmora
