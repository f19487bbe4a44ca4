#include "library/platform/clock.h"

#include <chrono>
#include <thread>

namespace tambelo {

std::uint32_t SystemClock::now_ms()
{
    using namespace std::chrono;
    const auto since_start = steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(since_start).count());
}

double SystemClock::precise_ms()
{
    using namespace std::chrono;
    const auto since_start = steady_clock::now().time_since_epoch();
    // Nanoseconds split at the millisecond, so that the whole milliseconds
    // are exactly those now_ms() counts.
    const auto whole = duration_cast<milliseconds>(since_start);
    const auto rest = duration_cast<nanoseconds>(since_start - whole);
    return static_cast<double>(whole.count()) + static_cast<double>(rest.count()) / 1e6;
}

void SystemClock::sleep_ms(std::uint32_t duration_ms)
{
    using namespace std::chrono;
    const auto now = steady_clock::now();
    const auto reading = floor<milliseconds>(now.time_since_epoch());
    std::this_thread::sleep_until(steady_clock::time_point(reading + milliseconds(duration_ms)));
}

Clock& system_clock()
{
    static SystemClock clock;
    return clock;
}

}  // namespace tambelo
