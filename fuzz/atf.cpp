#include "fuzz/Feed.h"

VELMORA_FUZZ_TARGET(FeedAtf)
