#include "library/platform/timer_period.h"

namespace tambelo {

// Linux sleeps and clocks have sub-millisecond resolution already.
FineTimerPeriod::FineTimerPeriod() = default;
FineTimerPeriod::~FineTimerPeriod() = default;

}  // namespace tambelo
