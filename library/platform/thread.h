#pragma once

#include <thread>

namespace tambelo {

// Asks the system to run the given thread ahead of ordinary threads, the way
// a music player's timing thread should. Best effort: where the system does
// not permit it (no privilege, no such scheduling class) nothing changes and
// nothing is reported.
void raise_thread_priority(std::thread& thread);

}  // namespace tambelo
