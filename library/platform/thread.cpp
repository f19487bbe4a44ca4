#include "library/platform/thread.h"

#include <pthread.h>
#include <sched.h>

namespace tambelo {

void set_current_thread_priority(ThreadPriority priority)
{
    // Modest real-time priorities, below those audio servers and JACK's
    // process threads usually take; an ordinary user is usually refused,
    // and the thread then keeps running at normal priority.
    const int lowest = sched_get_priority_min(SCHED_RR);
    sched_param param{};
    param.sched_priority = priority == ThreadPriority::timely ? lowest + 10 : lowest;
    (void)pthread_setschedparam(pthread_self(), SCHED_RR, &param);
}

}  // namespace tambelo
