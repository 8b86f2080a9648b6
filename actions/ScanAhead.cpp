#include "actions/ScanAhead.h"

#include <system_error>
#include <utility>
#include <vector>

#include "recording/Filter.h"
#include "spikes/FICurves.h"

namespace velmora {

namespace {

// Filtering takes about as long for eight sweeps side by side as for one:
// the worker takes them in groups of that many. The last sweep is filtered
// alone, so that after the reading only it is left to filter.
constexpr std::size_t kFilterGroup = 8;

}  // namespace

ScanAhead::ScanAhead(const Settings& settings)
    : format_(settings.format), filter_(settings.filter), spikes_(settings.spikes), fi_(settings.fi) {}

ScanAhead::~ScanAhead() { Abandon(); }

bool ScanAhead::Filters() const { return Filtering() && worker_.joinable(); }

bool ScanAhead::Filtering() const { return format_ == FileFormat::Main && filter_.on; }

void ScanAhead::Loaded(SweepSlot& slot, const SweepReading* kept, int left) {
  if (format_ != FileFormat::Main) return;
  const std::size_t groupSize = Filtering() ? kFilterGroup : 1;
  {
    std::lock_guard lock(mutex_);
    if (stop_) return;
    const bool endsGroup = ++inGroup_ >= groupSize || left <= 1;
    sweeps_.push_back({&slot, kept, std::nullopt});
    if (endsGroup) grouped_ = sweeps_.size(), inGroup_ = 0;
    loadEnded_ = left <= 0;
  }
  if (!worker_.joinable()) {
    try {
      worker_ = std::thread(&ScanAhead::Run, this);
    } catch (const std::system_error&) {
      // No thread to be had: the run filters and scans every sweep itself.
      std::lock_guard lock(mutex_);
      stop_ = true;
      return;
    }
  }
  changed_.notify_all();
}

void ScanAhead::Abandon() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

ScanAhead::Scanned* ScanAhead::Take(int n) {
  if (n < 1) return nullptr;
  std::unique_lock lock(mutex_);
  const std::size_t k = static_cast<std::size_t>(n);
  changed_.wait(lock, [&] { return done_ >= k || finished_ || !worker_.joinable(); });
  if (k > done_) return nullptr;
  std::optional<Scanned>& scanned = sweeps_[k - 1].scanned;
  return scanned ? &*scanned : nullptr;
}

void ScanAhead::Run() {
  try {
    for (std::size_t next = 0;;) {
      std::vector<Sweep*> group;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || grouped_ > next || (loadEnded_ && next == sweeps_.size()); });
        if (stop_ || grouped_ == next) break;
        for (std::size_t k = next; k < grouped_; ++k) group.push_back(&sweeps_[k]);
      }
      Filter(group);
      for (Sweep* sweep : group) {
        Scan(*sweep);
        {
          std::lock_guard lock(mutex_);
          ++done_;
        }
        changed_.notify_all();
      }
      next += group.size();
    }
  } catch (...) {
    // Out of memory: what is left is filtered and scanned the usual way.
  }
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

void ScanAhead::Filter(const std::vector<Sweep*>& group) const {
  if (!Filtering()) return;
  // The sweeps FilterLoadedSweeps would take.
  std::vector<std::pair<SweepSlot*, double>> sweeps;
  for (const Sweep* s : group)
    if (s->kept && s->kept->par.FiringClampOn != 1 && s->slot->filteredIterations == 0)
      sweeps.emplace_back(s->slot, s->kept->dt);
  FilterVoltages(sweeps, filter_);
}

void ScanAhead::Scan(Sweep& sweep) {
  // A slot that the run would read again, or filter itself, is scanned by the
  // run, and so is every one after it: the carried list is no longer known.
  if (!exact_ || !sweep.kept) {
    exact_ = false;
    return;
  }
  const SweepReading& kept = *sweep.kept;
  const SweepSignal signal = SignalOf(*sweep.slot, kept);
  if (!signal.scanned) {
    // The run clears its list for such a sweep; the next scan writes over
    // what the clearing leaves different.
    carry_ = SpikeList();
    return;
  }
  if (filter_.on && !FilteredAs(*sweep.slot, filter_)) {
    exact_ = false;
    return;
  }
  DetectSpikes(carry_, signal, spikes_);
  Scanned& scanned = sweep.scanned.emplace(Scanned{carry_, {}, {}});
  double tOff = kept.tOff;
  const TrainFI train = AnalyseTrain(carry_, kept.tOn, tOff, fi_);
  scanned.results = {kept.Gfile, kept.Ifile, StoredTauM(kept.par), kept.tOn, tOff, train.nuLast};
  scanned.lines = SweepResultLines(scanned.results, carry_);
}

}  // namespace velmora
