#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <sched.h>
#include <thread>

namespace tambelo {

// Keeps a JACK client's process thread on the CPU of its server's driver
// thread, which wakes it every period: there the wake-up is immediate, while
// one across CPUs waits for the other CPU to wake, on a virtual machine for up
// to a period and more, and the server then counts the client late. A thread
// of its own looks where the driver runs (often while the client connects,
// then once a second); the process thread moves itself when that changes.
// Where the driver cannot be found, or runs on a CPU this process may not
// use, the process thread keeps the CPUs it started with.
class ProcessThreadAffinity {
public:
    ProcessThreadAffinity();
    ~ProcessThreadAffinity();
    ProcessThreadAffinity(const ProcessThreadAffinity&) = delete;
    ProcessThreadAffinity& operator=(const ProcessThreadAffinity&) = delete;

    // Process thread, every period: moves it when the wanted CPU changed.
    // Lock-free; a system call only on a change.
    void follow();

private:
    void watch(std::stop_token stop);

    cpu_set_t allowed_{};
    static constexpr int any_allowed = -1;
    std::atomic<int> wanted_cpu_{any_allowed};
    int applied_cpu_ = any_allowed;  // process thread only
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::jthread watcher_;  // last: stops before what it uses goes
};

}  // namespace tambelo
