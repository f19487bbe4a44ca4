#pragma once

namespace tambelo {

// Asks the system to run the calling thread ahead of ordinary threads, the
// way a music player's timing thread should. Called by the thread itself, at
// its start. Best effort: where the system does not permit it (no privilege,
// no such scheduling class) nothing changes and nothing is reported.
void raise_current_thread_priority();

}  // namespace tambelo
