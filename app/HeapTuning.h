#pragma once
// Drawing a full sweep moves tens of megabytes through buffers that are
// freed and allocated again at every redraw. Left to the C library, each
// such buffer is a fresh mapping whose pages fault in one by one, which
// doubled the time from a click to the painted chart. Kept in the heap,
// the pages are reused.

namespace velmora::app {

void KeepLargeBuffersInHeap();

}  // namespace velmora::app
