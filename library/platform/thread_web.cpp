#include "library/platform/thread.h"

namespace tambelo {

// A browser page has no thread priorities to ask for; its player runs no
// playback thread anyway (it plays tracks off line, ahead of the audio).
void raise_current_thread_priority() {}

}  // namespace tambelo
