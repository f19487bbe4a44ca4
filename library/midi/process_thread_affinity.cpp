#include "library/midi/process_thread_affinity.h"

#include "library/midi/jack_driver_cpu.h"

#include <pthread.h>

#include <chrono>

namespace tambelo {

ProcessThreadAffinity::ProcessThreadAffinity()
{
    if (sched_getaffinity(0, sizeof allowed_, &allowed_) != 0)
        CPU_ZERO(&allowed_);
    watcher_ = std::jthread([this](std::stop_token stop) { watch(stop); });
}

ProcessThreadAffinity::~ProcessThreadAffinity()
{
    watcher_.request_stop();
    wake_.notify_all();
}

void ProcessThreadAffinity::follow()
{
    const int wanted = wanted_cpu_.load(std::memory_order_relaxed);
    if (wanted == applied_cpu_)
        return;
    applied_cpu_ = wanted;
    cpu_set_t cpus = allowed_;
    if (wanted != any_allowed) {
        CPU_ZERO(&cpus);
        CPU_SET(wanted, &cpus);
    }
    pthread_setaffinity_np(pthread_self(), sizeof cpus, &cpus);
}

void ProcessThreadAffinity::watch(std::stop_token stop)
{
    using std::chrono::milliseconds;
    std::unique_lock lock(mutex_);
    bool found = false;
    while (!stop.stop_requested()) {
        const int cpu = jack_driver_cpu();
        const bool usable = cpu >= 0 && cpu < CPU_SETSIZE && CPU_ISSET(cpu, &allowed_);
        wanted_cpu_.store(usable ? cpu : any_allowed, std::memory_order_relaxed);
        found = found || usable;
        // Soon at first, while the client connects; then a driver thread
        // seldom moves.
        wake_.wait_for(lock, stop, found ? milliseconds(1000) : milliseconds(100), [] { return false; });
    }
}

}  // namespace tambelo
