#pragma once
// The program-wide state: one object, passed by reference to every analysis.

#include "recording/Recording.h"

namespace velmora {

struct Session {
  Recording rec;
};

}  // namespace velmora
