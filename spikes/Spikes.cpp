#include "spikes/Spikes.h"

namespace velmora {

SpikeList::SpikeList()
    : tAP(kMaxSpikes + 1), ISI(kMaxSpikes + 1), VT(kMaxSpikes + 1), tVT(kMaxSpikes + 1), Vpeak(kMaxSpikes + 1),
      WidthAP(kMaxSpikes + 1), VAHP(kMaxSpikes + 1), VAHPfast(kMaxSpikes + 1), Vav(kMaxSpikes + 1) {}

}  // namespace velmora
