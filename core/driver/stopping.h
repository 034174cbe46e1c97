// Stopping a call early: the state one call's threads share, and the one
// check every loop over the call's work makes. A loop that runs units of
// work (or tiles, frequencies, any piece of a few milliseconds at most)
// asks stopRequested before each piece and leaves the loop when it answers
// true; the driver then reports CallOutcome::stopped. Only the calling
// thread asks the caller's query; the other threads read the flag it sets,
// so the query never runs on a worker thread.
//
// stopRequested is defined once per threading form (threads.cpp) and never
// inline, so the kernels, compiled once per instruction set, can call it.
#ifndef SPECTROGRID_CORE_DRIVER_STOPPING_H
#define SPECTROGRID_CORE_DRIVER_STOPPING_H

#include <atomic>

#include "spectrogrid_core.h"

namespace spectrogrid {

struct CallStop {
    StopQuery query;
    std::atomic<bool> stopped{false};  // set once, by the calling thread
};

// True once the call must stop. On the calling thread it asks the query
// (when there is one) unless the flag is already set, and sets the flag
// when the query answers true; on any other thread it reads the flag. A
// null state never stops.
bool stopRequested(CallStop* stop);

}  // namespace spectrogrid

#endif
