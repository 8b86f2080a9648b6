#include "actions/Overlay.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <fmt/format.h>

#include "spikes/Spikes.h"

namespace velmora {

void SuperimposeV(Session& session, const Settings& settings, WarningSink& warnings) {
  const double smpl = std::trunc(settings.Smpl);
  if (!(smpl >= 1 && smpl <= kMaxSweeps)) {
    warnings.Warn(fmt::format("SuperimposeV: sweep {} is outside 1..{}; nothing superimposed", smpl, kMaxSweeps));
    return;
  }
  const int iFile = static_cast<int>(smpl);
  Recording& rec = session.rec;
  rec.iFile = iFile;

  Series& overlay = EnsureSeries(session.charts.overlay, "", SeriesKind::Point, kRed);
  overlay.Clear();

  SpikeSettings spikeSettings = session.spikeRecords;
  spikeSettings.ThresholdScale = settings.spikes.ThresholdScale;  // read at every search
  SpikeList& spikes = session.spikes;
  if (DetectSpikes(spikes, rec, iFile, spikeSettings))
    ShowSpikes(spikes, session.charts.voltage, settings.draw.alignCurrent ? &session.StimTimes : nullptr);

  const SweepSlot& sweep = std::as_const(rec.traces)[iFile];  // an unloaded slot stays unallocated
  const int last = std::min(sweep.nLast, static_cast<int>(sweep.V.size()) - 1);
  overlay.points.reserve(std::max(last, 0));
  // The first spike whose peak lies after t only moves forward as t grows,
  // whatever the order of the peaks, so one running index serves every sample.
  int next = 1;
  for (int i = 1; i <= last; ++i) {
    const double t = i * rec.dt + rec.t0;  // s
    while (next <= spikes.nSpikes && !(t < spikes.tAP[next])) ++next;
    const int r = next - 1;
    const double tRef = r > 0 ? spikes.tAP[r] : 0;
    overlay.AddPoint((t - tRef) * 1000, sweep.V[i]);
  }
}

}  // namespace velmora
