#pragma once
// The interspike pieces of one sweep laid over each other: every voltage
// sample against the time since the counted spike peak before it.

#include "session/Session.h"
#include "session/Settings.h"
#include "base/WarningSink.h"

namespace velmora {

// Detects the spikes of slot trunc(settings.Smpl) again and shows them on the
// voltage chart, then refills the one point series of session.charts.overlay
// with (t - tAP[r]) ms against V mV for every sample 1..nLast, r being the
// last counted spike whose peak is not after t (no spike yet: against t).
// Detection takes its criteria from session.spikeRecords (as taken over at
// the last read) and the curvature scale from `settings`. A recording without
// spike detection leaves the list of the sweep scanned before in use.
// A slot outside 1..50 is reported to `warnings` and changes nothing.
void SuperimposeV(Session& session, const Settings& settings, WarningSink& warnings);

}  // namespace velmora
