#pragma once

namespace tambelo {

// How readily a thread of ours should get the processor.
enum class ThreadPriority {
    // Its work must go out on time: the playback thread on the system's
    // clock, or an audio output's own thread meeting the server's periods.
    timely,
    // It renders sound well ahead of the output that plays it. It runs
    // ahead of ordinary threads, so that a busy machine does not starve it,
    // but behind every thread that meets an audio period (the server's,
    // other clients', our own output's): with the sound it has in hand it
    // can wait, and a burst of its rendering must never hold them up.
    ahead,
};

// Asks the system to run the calling thread at `priority`. Called by the
// thread itself. Best effort: where the system does not permit it (no
// privilege, no such scheduling class) nothing changes and nothing is
// reported.
void set_current_thread_priority(ThreadPriority priority);

}  // namespace tambelo
