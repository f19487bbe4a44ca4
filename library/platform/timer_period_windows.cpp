#include "library/platform/timer_period.h"

#include <windows.h>
#include <timeapi.h>

namespace tambelo {

// Without this, timeGetTime advances and Sleep wakes in steps of the default
// timer period, about 15.6 ms: coarser than a tick of the music.
FineTimerPeriod::FineTimerPeriod() : held_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

FineTimerPeriod::~FineTimerPeriod()
{
    if (held_)
        timeEndPeriod(1);
}

}  // namespace tambelo
