#include "recording/Recording.h"

#include <stdexcept>
#include <string>

namespace velmora {

SweepSlot& Traces::operator[](int slot) {
  if (slot < 1 || slot > kMaxSweeps)
    throw std::out_of_range("sweep slot " + std::to_string(slot) + " is outside 1.." +
                            std::to_string(kMaxSweeps));
  if (static_cast<int>(slots_.size()) < slot) slots_.resize(slot);
  return slots_[slot - 1];
}

const SweepSlot& Traces::operator[](int slot) const {
  static const SweepSlot kEmpty;
  if (slot < 1 || slot > static_cast<int>(slots_.size())) return kEmpty;
  return slots_[slot - 1];
}

void Traces::Empty() {
  for (SweepSlot& s : slots_) {
    s.nLast = -1;
    s.filteredTauF = 0;
    s.filteredIterations = 0;
    s.reading.reset();
  }
}

}  // namespace velmora
