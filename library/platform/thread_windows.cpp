#include "library/platform/thread.h"

#include <windows.h>

namespace tambelo {

void raise_current_thread_priority()
{
    (void)SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

}  // namespace tambelo
