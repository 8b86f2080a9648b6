#include "session/Settings.h"

namespace velmora {

void ApplyParameterSet(Settings& s, int item) {
  s.parameterSet = item;
  SpikeCriteriaRec& c = s.spikes.SpikeCriteria;
  if (item == 0) {
    c.V_min = -35, c.dVdt_min = 15, c.d2Vdt2_min = 10, c.TimeWindow = 0.05;
    s.spikes.AHPfast = {-10, 0.005};
    s.spikes.ThresholdScale = 1;
    s.NegPulseD = false;
  } else if (item == 1) {
    c.V_min = -15, c.dVdt_min = 5, c.d2Vdt2_min = 2, c.TimeWindow = 0.05;
    s.spikes.AHPfast = {-10, 0.005};
    s.spikes.ThresholdScale = 3;
    s.NegPulseD = true;
    s.filter.tauF = 0.1;
    s.filter.iterations = 10;
    s.fi.nuLastLastTwoThirds = true;
    s.fi.nuLastZeroOnBreak = true;
    s.fi.ZeroOnBreak = true;
    s.fi.CutFactor = 4;
  }
}

Settings StartupSettings() {
  Settings s;
  ApplyParameterSet(s, 1);
  return s;
}

}  // namespace velmora
