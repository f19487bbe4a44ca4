#include "library/platform/thread.h"

namespace tambelo {

// A browser page has no thread priorities to ask for; its player runs no
// playback thread anyway (it plays tracks off line, ahead of the audio).
void set_current_thread_priority(ThreadPriority) {}

}  // namespace tambelo
