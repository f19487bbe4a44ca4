#include "library/platform/thread.h"

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#include <sched.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace tambelo {

void raise_thread_priority(std::thread& thread)
{
#if defined(__unix__) || defined(__APPLE__)
    // A modest real-time priority; an ordinary user is usually refused, and
    // the thread then keeps running at normal priority.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR) + 10;
    (void)pthread_setschedparam(thread.native_handle(), SCHED_RR, &param);
#elif defined(_WIN32)
    (void)SetThreadPriority(thread.native_handle(), THREAD_PRIORITY_HIGHEST);
#else
    (void)thread;
#endif
}

}  // namespace tambelo
