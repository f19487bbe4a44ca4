#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace tambelo {

// Where the JACK server this process is a client of runs its driver thread:
// the thread that starts every period and wakes the clients' process threads.
// A process thread on that same CPU is woken there at once; on another one it
// waits for a wake-up across CPUs, which a sleeping CPU (a virtual machine's
// halted one above all) may take longer than a period to answer.

// How the kernel schedules one thread, as /proc/<pid>/task/<tid>/stat says.
struct ThreadSchedule {
    int cpu = -1;         // the CPU it last ran on
    int rt_priority = 0;  // 1 to 99 for a real-time thread, else 0
    int policy = 0;       // SCHED_OTHER, SCHED_FIFO, SCHED_RR...
};

// Reads one thread's stat line; nullopt when it is not one.
std::optional<ThreadSchedule> parse_thread_stat(std::string_view line);

// The CPU of the real-time thread with the highest priority among a server's
// threads (its driver's), or -1 when none of them runs in real time.
int driver_thread_cpu(const std::vector<ThreadSchedule>& threads);

// Whether a Unix socket address is a JACK server's: JACK binds its server's
// socket as jack_<server>_<user>_<number> in its socket folder.
bool is_jack_server_socket(std::string_view path);

// The CPU the driver thread of the JACK server that this process has a
// connection to last ran on; -1 when there is none (no JACK client open, a
// server that is not a jackd of this machine, or no real-time driver).
// Reads /proc: not for a real-time thread.
int jack_driver_cpu();

}  // namespace tambelo
