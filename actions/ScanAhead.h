#pragma once
// The F-I run's filtering and spike scan of a selection, made while the
// selection is still being read. Reading a text trace keeps both processors
// busy only part of the time; the scan fills the rest, so that a run over
// long sweeps costs little more than their reading.
//
// The run's results stay exactly those of filtering and scanning each sweep
// after the load: the voltages are filtered side by side as FilterLoadedSweeps
// filters them, and the sweeps are scanned in slot order into one list that
// carries from sweep to sweep what the run's own list would carry (the
// entries above a sweep's count that its scan does not write, and what the
// train analysis changes in it).

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "actions/ReadAndDraw.h"
#include "session/Settings.h"
#include "spikes/ResultFiles.h"
#include "spikes/Spikes.h"

namespace velmora {

class ScanAhead final : public LoadObserver {
 public:
  // Works for the main format only; for the others it takes nothing over.
  explicit ScanAhead(const Settings& settings);
  ~ScanAhead() override;  // stops and waits for the work in hand
  ScanAhead(const ScanAhead&) = delete;
  ScanAhead& operator=(const ScanAhead&) = delete;

  void Loaded(SweepSlot& slot, const SweepReading* kept, int left) override;
  void Abandon() override;  // stops the worker and waits for it

  // Whether the voltages of the loaded sweeps are filtered here, which the
  // run then does not do itself. Asked by the run, from its own thread.
  bool Filters() const;
  // What the run would make of a sweep up to its result lines.
  struct Scanned {
    SpikeList spikes;      // as the detection leaves it, for ReadAndDraw
    SweepResults results;  // after the train analysis
    SweepLines lines;      // of `results` and the list after the train analysis
  };
  // Waits until the sweep loaded n-th (slot n) is done with, and returns what
  // was made of it; nullptr when the slot is to be scanned the usual way.
  // Until then the slot is not to be touched.
  Scanned* Take(int n);

 private:
  struct Sweep {
    SweepSlot* slot = nullptr;
    const SweepReading* kept = nullptr;
    std::optional<Scanned> scanned;
  };
  bool Filtering() const;  // whether the settings ask for the filter here
  void Run();
  void Filter(const std::vector<Sweep*>& group) const;
  void Scan(Sweep& sweep);

  const FileFormat format_;
  const FilterSettings filter_;
  const SpikeSettings spikes_;
  const FISettings fi_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Sweep> sweeps_;  // grows at the end only: the worker keeps pointers into it
  std::size_t grouped_ = 0;   // sweeps in groups complete for filtering
  std::size_t done_ = 0;      // sweeps the worker is through with
  bool loadEnded_ = false, stop_ = false, finished_ = false;
  std::size_t inGroup_ = 0;   // the loader's count of sweeps since the last group ended
  std::thread worker_;

  // The worker's own.
  SpikeList carry_;    // the run's list as it would stand before the next sweep
  bool exact_ = true;  // false once a sweep could not be scanned as the run would
};

}  // namespace velmora
