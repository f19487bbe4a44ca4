// libpulse's threaded main loop must be locked for every call made from
// outside its thread; the loop may otherwise act on what the call is still
// setting up. This program stands in front of libpulse's lock, unlock and
// one-off calls (its own definitions win over the shared library's) to see
// that the stream output keeps to that.
#include "library/midi/frame_ring.h"
#include "library/midi/pulse_stream_output.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <pulse/thread-mainloop.h>

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

thread_local int locks_held = 0;
std::atomic<int> one_off_calls{0};
std::atomic<int> one_off_calls_unlocked{0};

template <typename Function>
Function real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

void pa_threaded_mainloop_lock(pa_threaded_mainloop* loop)
{
    static const auto lock = real<void (*)(pa_threaded_mainloop*)>("pa_threaded_mainloop_lock");
    lock(loop);
    ++locks_held;
}

void pa_threaded_mainloop_unlock(pa_threaded_mainloop* loop)
{
    static const auto unlock = real<void (*)(pa_threaded_mainloop*)>("pa_threaded_mainloop_unlock");
    --locks_held;
    unlock(loop);
}

void pa_threaded_mainloop_once_unlocked(pa_threaded_mainloop* loop,
                                        void (*callback)(pa_threaded_mainloop*, void*), void* data)
{
    using OnceUnlocked = void (*)(pa_threaded_mainloop*, void (*)(pa_threaded_mainloop*, void*), void*);
    static const auto once = real<OnceUnlocked>("pa_threaded_mainloop_once_unlocked");
    ++one_off_calls;
    if (locks_held <= 0)
        ++one_off_calls_unlocked;
    once(loop, callback, data);
}

}  // extern "C"

namespace tambelo {
namespace {

// A socket that takes connections and never answers: the output gets as far
// as starting its loop, then gives up waiting for the server.
class SilentServer {
public:
    explicit SilentServer(const std::string& path)
    {
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd_, 4) == 0;
    }
    ~SilentServer() { close(fd_); }
    bool bound() const { return bound_; }

private:
    int fd_ = -1;
    bool bound_ = false;
};

TEST(PulseStreamOutput, HandsItsLoopOneOffWorkOnlyWithTheLoopLocked)
{
    const testing::TempDir dir;
    const std::string socket_path = (dir.path() / "native").string();
    SilentServer server(socket_path);
    ASSERT_TRUE(server.bound());
    setenv("PULSE_SERVER", ("unix:" + socket_path).c_str(), 1);
    FrameRing ring(1024);
    EXPECT_FALSE(open_pulse_stream_output(48000, ring));
    ASSERT_GT(one_off_calls.load(), 0) << "the output no longer hands its loop one-off work";
    EXPECT_EQ(one_off_calls_unlocked.load(), 0);
}

}  // namespace
}  // namespace tambelo
