#include "library/platform/clock.h"

#include <windows.h>
#include <timeapi.h>

namespace tambelo {

// The system's millisecond clock, as the playback thread's timing was made
// for: it counts from system start and wraps after about 49.7 days. Its
// resolution is the timer period, which the playback thread holds at 1 ms.
std::uint32_t SystemClock::now_ms()
{
    return timeGetTime();
}

// No device on Windows places messages within a millisecond.
double SystemClock::precise_ms()
{
    return now_ms();
}

void SystemClock::sleep_ms(std::uint32_t duration_ms)
{
    Sleep(duration_ms);
}

Clock& system_clock()
{
    static SystemClock clock;
    return clock;
}

}  // namespace tambelo
