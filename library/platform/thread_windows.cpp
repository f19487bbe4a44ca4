#include "library/platform/thread.h"

#include <windows.h>

namespace tambelo {

void set_current_thread_priority(ThreadPriority priority)
{
    (void)SetThreadPriority(GetCurrentThread(), priority == ThreadPriority::timely
                                                    ? THREAD_PRIORITY_HIGHEST
                                                    : THREAD_PRIORITY_ABOVE_NORMAL);
}

}  // namespace tambelo
