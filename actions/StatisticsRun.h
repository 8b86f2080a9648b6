#pragma once
// "Analize Statistics" on the sweep shown: the pass over its voltage, with
// the markers on the main window's charts.

#include "analyses/Statistics.h"
#include "session/Session.h"

namespace velmora {

inline StatisticsState AnalyzeStatistics(Session& session, int slot, const StatisticsSettings& settings,
                                         StatisticsWindow& window, WarningSink& warnings,
                                         const StatisticsProgress& progress = {}) {
  return AnalyzeStatistics(session.rec, slot, session.charts.voltage, session.charts.current, settings, window,
                           warnings, progress);
}

}  // namespace velmora
