#include "library/midi/device_choice.h"
#include "library/midi/jack_driver_cpu.h"
#include "library/midi/port_device.h"
#include "library/midi/sound_system.h"
#include "library/midi/synth_device.h"

#include "tests/support/midi_bytes.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tambelo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::gs_reset_bytes;
using testing::send_bytes;
using testing::send_long_bytes;

// A JACK server of the test's own on the dummy backend (no sound hardware),
// under a name no one else uses; JACK clients of this process find it
// through JACK_DEFAULT_SERVER.
class DummyJackServer {
public:
    // A server without real time unless asked for: not every machine grants it.
    explicit DummyJackServer(bool realtime = false) : name_("tambelo-test-" + std::to_string(getpid()))
    {
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        std::vector<std::string> args = {"jackd", realtime ? "-R" : "-r", "-n", name_, "-d", "dummy",
                                         "-r", "48000", "-p", "256"};
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, "jackd", &quiet, nullptr, argv.data(), environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&quiet);
        for (int i = 0; pid_ && i < 100 && !running_; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            running_ = jack_server_running();
        }
    }
    ~DummyJackServer() { stop(); }

    bool running() const { return running_; }
    void stop()
    {
        if (!pid_)
            return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
        running_ = false;
    }

private:
    std::string name_;
    pid_t pid_ = 0;
    bool running_ = false;
};

// A MIDI input port on JACK that keeps every message it receives. Written on
// JACK itself rather than RtMidi: RtMidi unregisters its port while the
// client's process thread may still be reading it, which now and then
// crashes the process at teardown. This client stops processing first.
class Listener {
public:
    explicit Listener(const char* port_name)
    {
        client_ = jack_client_open("tambelo-listener", JackNoStartServer, nullptr);
        if (!client_)
            return;
        port_ = jack_port_register(client_, port_name, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        incoming_ = jack_ringbuffer_create(1 << 16);
        jack_set_process_callback(client_, &Listener::process, this);
        jack_activate(client_);
    }
    ~Listener()
    {
        if (!client_)
            return;
        jack_deactivate(client_);
        jack_client_close(client_);
        jack_ringbuffer_free(incoming_);
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    bool ready() const { return client_ && port_; }

    // Waits until `count` messages have arrived (or five seconds have passed).
    std::vector<Bytes> wait_for(std::size_t count)
    {
        for (int i = 0; i < 500 && received_.size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            collect();
        }
        return received_;
    }

    // JACK connects ports asynchronously, and what is sent before the
    // connection stands is lost: sends `probe` until one arrives, then
    // forgets what has arrived so far.
    bool wait_until_connected(MidiDevice& device, const Bytes& probe)
    {
        for (int i = 0; i < 100; ++i) {
            send_bytes(device, probe);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            collect();
            if (received_.empty())
                continue;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            collect();
            received_.clear();
            return true;
        }
        return false;
    }

private:
    // Each message travels through the ring buffer as its size, then its bytes.
    static int process(jack_nframes_t frames, void* self)
    {
        auto* listener = static_cast<Listener*>(self);
        void* buffer = jack_port_get_buffer(listener->port_, frames);
        const std::uint32_t count = jack_midi_get_event_count(buffer);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0)
                continue;
            const auto size = static_cast<std::uint32_t>(event.size);
            if (jack_ringbuffer_write_space(listener->incoming_) < sizeof size + size)
                break;
            jack_ringbuffer_write(listener->incoming_, reinterpret_cast<const char*>(&size), sizeof size);
            jack_ringbuffer_write(listener->incoming_, reinterpret_cast<const char*>(event.buffer), size);
        }
        return 0;
    }

    void collect()
    {
        std::uint32_t size = 0;
        while (jack_ringbuffer_read(incoming_, reinterpret_cast<char*>(&size), sizeof size) == sizeof size) {
            Bytes message(size);
            jack_ringbuffer_read(incoming_, reinterpret_cast<char*>(message.data()), size);
            received_.push_back(std::move(message));
        }
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    jack_ringbuffer_t* incoming_ = nullptr;
    std::vector<Bytes> received_;
};

TEST(PortDevice, DeliversTheExactBytesInOrderToAJackPeer)
{
    DummyJackServer server;
    if (!server.running())
        GTEST_SKIP() << "a JACK server with the dummy backend cannot run here";
    Listener listener("gs-module-in");
    ASSERT_TRUE(listener.ready());

    const std::vector<std::string> ports = list_output_ports();
    EXPECT_TRUE(std::any_of(ports.begin(), ports.end(), [](const std::string& name) {
        return name.find("gs-module-in") != std::string::npos;
    }));

    std::string why;
    std::unique_ptr<MidiDevice> device = open_named_device("port:gs-module-in", &why);
    ASSERT_TRUE(device) << why;
    ASSERT_TRUE(listener.wait_until_connected(*device, {0x8F, 0, 0}));

    EXPECT_TRUE(send_long_bytes(*device, gs_reset_bytes));
    EXPECT_TRUE(send_bytes(*device, {0xB3, 0, 0}));
    EXPECT_TRUE(send_bytes(*device, {0xC3, 48, 0x5A}));  // two bytes go out, not three
    EXPECT_TRUE(send_bytes(*device, {0x93, 60, 120}));
    EXPECT_TRUE(send_bytes(*device, {0x93, 60, 0}));

    const std::vector<Bytes> expected = {
        gs_reset_bytes, {0xB3, 0, 0}, {0xC3, 48}, {0x93, 60, 120}, {0x93, 60, 0}};
    EXPECT_EQ(listener.wait_for(expected.size()), expected);
}

TEST(PortDevice, APortThatGoesAwayDoesNotEndPlayback)
{
    DummyJackServer server;
    if (!server.running())
        GTEST_SKIP() << "a JACK server with the dummy backend cannot run here";
    std::unique_ptr<MidiDevice> device;
    {
        Listener listener("short-lived");
        ASSERT_TRUE(listener.ready());
        device = open_named_device("port:short-lived");
        ASSERT_TRUE(device);
    }
    send_bytes(*device, {0x90, 60, 100});
    server.stop();
    // The whole MIDI system is gone now: sends may fail, but they return.
    send_bytes(*device, {0xB0, 120, 0});
    send_long_bytes(*device, gs_reset_bytes);
    device.reset();
}

// How many audio output ports whose names match `pattern` the server has.
int audio_output_ports(const char* pattern)
{
    jack_client_t* client = jack_client_open("tambelo-test-look", JackNoStartServer, nullptr);
    if (!client)
        return -1;
    int count = 0;
    if (const char** ports = jack_get_ports(client, pattern, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput)) {
        while (ports[count])
            ++count;
        jack_free(ports);
    }
    jack_client_close(client);
    return count;
}

TEST(SynthDevice, PlaysThroughARunningJackServer)
{
    if (soundfont_candidates().empty())
        GTEST_SKIP() << "no SoundFont installed";
    DummyJackServer server;
    if (!server.running())
        GTEST_SKIP() << "a JACK server with the dummy backend cannot run here";
    ::testing::internal::CaptureStderr();
    std::string why;
    std::unique_ptr<MidiDevice> device = open_named_device("synth", &why);
    ASSERT_TRUE(device) << why;
    EXPECT_TRUE(send_long_bytes(*device, gs_reset_bytes));
    EXPECT_TRUE(send_bytes(*device, {0x90, 60, 100}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // A patchbay shows the player under its own name.
    EXPECT_EQ(audio_output_ports("^tambelo:"), 2);
    EXPECT_TRUE(send_bytes(*device, {0xB0, 120, 0}));
    device.reset();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// This process's threads that run first-in first-out in real time: JACK's
// process threads (the synth's own renders round-robin), each with the CPUs
// it may run on.
std::vector<cpu_set_t> fifo_thread_cpus()
{
    std::vector<cpu_set_t> threads;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        const pid_t tid = std::stoi(task.path().filename().string());
        cpu_set_t cpus;
        if (sched_getscheduler(tid) == SCHED_FIFO && sched_getaffinity(tid, sizeof cpus, &cpus) == 0)
            threads.push_back(cpus);
    }
    return threads;
}

TEST(SynthDevice, KeepsItsJackProcessThreadOnTheCpuOfTheServersDriver)
{
    if (soundfont_candidates().empty())
        GTEST_SKIP() << "no SoundFont installed";
    DummyJackServer server(true);
    if (!server.running())
        GTEST_SKIP() << "a JACK server with the dummy backend cannot run here";
    ::testing::internal::CaptureStderr();
    std::unique_ptr<MidiDevice> device = open_named_device("synth");
    ASSERT_TRUE(device);
    const int driver_cpu = jack_driver_cpu();
    if (driver_cpu < 0 || fifo_thread_cpus().empty()) {
        device.reset();
        ::testing::internal::GetCapturedStderr();
        GTEST_SKIP() << "the JACK server or its client got no real-time thread here";
    }
    // Where the driver runs is looked at once a second.
    bool kept = false;
    for (int i = 0; i < 40 && !kept; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::vector<cpu_set_t> threads = fifo_thread_cpus();
        kept = !threads.empty() && std::all_of(threads.begin(), threads.end(), [&](const cpu_set_t& cpus) {
            return CPU_COUNT(&cpus) == 1 && CPU_ISSET(jack_driver_cpu(), &cpus);
        });
    }
    EXPECT_TRUE(kept);
    device.reset();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(PortDevice, NoSuchPortIsReportedQuietly)
{
    ::testing::internal::CaptureStderr();
    std::string why;
    EXPECT_FALSE(PortDevice::open("no-such-port-anywhere", &why));
    EXPECT_NE(why.find("no-such-port-anywhere"), std::string::npos) << why;
    list_output_ports();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(DeviceChoice, NamesChooseTheirDevicesAndUnknownOnesSayWhy)
{
    std::string why;
    EXPECT_TRUE(open_named_device("none", &why));
    EXPECT_FALSE(open_named_device("none:extra", &why));
    EXPECT_NE(why.find("unknown output device"), std::string::npos);
    why.clear();
    EXPECT_FALSE(open_named_device("port:", &why));
    EXPECT_FALSE(why.empty());
    why.clear();
    EXPECT_FALSE(open_named_device("speaker", &why));
    EXPECT_NE(why.find("\"speaker\""), std::string::npos);
}

TEST(DeviceChoice, TheEnvironmentVariableNamesTheDefaultDevice)
{
    setenv("TAMBELO_MIDI_OUT", "port:Roland", 1);
    EXPECT_EQ(default_device_name(), "port:Roland");
    setenv("TAMBELO_MIDI_OUT", "", 1);
    EXPECT_EQ(default_device_name(), "synth");
    unsetenv("TAMBELO_MIDI_OUT");
    EXPECT_EQ(default_device_name(), "synth");
}

}  // namespace
}  // namespace tambelo
