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
