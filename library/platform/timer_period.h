#pragma once

namespace tambelo {

// Holds the system's timer at a 1 ms period for its lifetime, so that the
// playback thread's sleeps and clock readings are accurate to the
// millisecond. The playback thread holds one while it runs, that is while
// the Player lives; the period is given back when the thread ends, before
// release returns. Where the system timer is fine already, it does nothing.
class FineTimerPeriod {
public:
    FineTimerPeriod();
    ~FineTimerPeriod();
    FineTimerPeriod(const FineTimerPeriod&) = delete;
    FineTimerPeriod& operator=(const FineTimerPeriod&) = delete;

private:
#ifdef _WIN32
    // Only Windows has a period to give back, and only when it was granted.
    bool held_ = false;
#endif
};

}  // namespace tambelo
