#include "library/platform/thread.h"

#include <pthread.h>
#include <sched.h>

namespace tambelo {

void raise_current_thread_priority()
{
    // A modest real-time priority; an ordinary user is usually refused, and
    // the thread then keeps running at normal priority.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR) + 10;
    (void)pthread_setschedparam(pthread_self(), SCHED_RR, &param);
}

}  // namespace tambelo
