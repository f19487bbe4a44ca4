#include "library/midi/pulse_stream_output.h"

#include "library/platform/thread.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace tambelo {
namespace {

constexpr int channels = 2;
constexpr std::size_t frame_bytes = channels * sizeof(float);
// What the stream keeps in the server: as much as a stock player keeps, far
// more than the longest moment for which this machine was seen to stand
// still (100 ms with both cores busy), so that a server starved of the
// processor for a while catches up from it instead of running dry (with a
// quarter of a second, a server sharing two cores with a dozen busy
// processes did, once in ten runs). It costs no delay: every change of what
// plays drops it.
constexpr pa_usec_t server_buffer_usec = 2'000'000;
// How often the server asks for more, and so (with early requests) how much
// the sink renders ahead of the speaker: what is left of a dropped buffer.
constexpr pa_usec_t request_usec = 10'000;
// PipeWire's PulseAudio server also runs its whole graph at the period a
// stream asks for, cut down to a power of two: at 10 ms its timer-driven
// sinks now and then missed a cycle on an idle machine and played a period
// of silence into the middle of the music, though our stream held two
// seconds, and so did 21.333 ms, which it took as 1,023 frames and ran at
// 512 (three runs in eight). At 1,024 frames, its own default period at
// 48 kHz, none did. PulseAudio's own server keeps 10 ms: with the longer
// period it recovered less cleanly from a server that stood still.
constexpr std::size_t pipewire_request_frames = 1024;
constexpr std::size_t write_frames = 1024;

// Wakes whoever waits on the main loop; every callback of ours does only this.
void signal_loop(void* loop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

// A connection to the server with its own event thread. Calls into it are
// made with the loop locked.
class PulseConnection {
public:
    PulseConnection()
    {
        loop_ = pa_threaded_mainloop_new();
        if (!loop_)
            return;
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "tambelo");
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
        context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "tambelo",
                                                properties);
        pa_proplist_free(properties);
    }

    ~PulseConnection()
    {
        if (loop_)
            pa_threaded_mainloop_stop(loop_);
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (loop_)
            pa_threaded_mainloop_free(loop_);
    }

    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects to the default server, never starting one. Loop unlocked.
    bool connect()
    {
        if (!context_)
            return false;
        pa_context_set_state_callback(
            context_, [](pa_context*, void* loop) { signal_loop(loop); }, loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            pa_threaded_mainloop_start(loop_) < 0)
            return false;
        // Our writes reach the server, and its requests for more reach us,
        // only through the loop's thread: it must get the processor ahead of
        // the thread that renders, or a busy machine starves the stream
        // however large its buffer. Handed over with the loop locked, as
        // every call from outside its thread: the running loop may otherwise
        // run and free the one-off event before libpulse has finished
        // setting it up, and abort the program.
        lock();
        pa_threaded_mainloop_once_unlocked(
            loop_, [](pa_threaded_mainloop*, void*) { set_current_thread_priority(ThreadPriority::timely); },
            nullptr);
        const bool ready = wait_until([this] {
            const pa_context_state_t state = pa_context_get_state(context_);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        }) && pa_context_get_state(context_) == PA_CONTEXT_READY;
        if (ready)
            learn_server_name();
        unlock();
        return ready;
    }

    // Waits, loop locked, until `done` holds, for a second at most: a
    // server that was stopped (not killed) answers nothing, and the output
    // may be opened again from the playback thread.
    template <typename Done>
    bool wait_until(Done done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            lock();
        }
        return true;
    }

    pa_context* context() { return context_; }
    // Whether the server is PipeWire's PulseAudio server ("PulseAudio (on
    // PipeWire 0.3.65)"), as far as it said in time.
    bool on_pipewire() const { return server_name_.find("PipeWire") != std::string::npos; }
    pa_threaded_mainloop* loop() { return loop_; }
    void lock() { pa_threaded_mainloop_lock(loop_); }
    void unlock() { pa_threaded_mainloop_unlock(loop_); }
    void wait() { pa_threaded_mainloop_wait(loop_); }

private:
    // Loop locked.
    void learn_server_name()
    {
        struct Answer {
            std::string name;
            bool done = false;
            pa_threaded_mainloop* loop;
        } answer{{}, false, loop_};
        pa_operation* asking = pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* a = static_cast<Answer*>(data);
                if (info && info->server_name)
                    a->name = info->server_name;
                a->done = true;
                signal_loop(a->loop);
            },
            &answer);
        if (!asking)
            return;
        const bool answered = wait_until([&] { return answer.done; });
        if (!answered)
            pa_operation_cancel(asking);  // the callback must not run after this frame is gone
        pa_operation_unref(asking);
        server_name_ = answer.name;
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::string server_name_;
};

// The stream and the thread that fills it from the ring, as fast as the
// server takes sound and the ring has it.
class PulseStreamOutput final : public AudioOutput {
public:
    PulseStreamOutput(double sample_rate, FrameRing& ring) : ring_(ring), sample_rate_(sample_rate) {}

    ~PulseStreamOutput() override
    {
        if (thread_.joinable()) {
            connection_.lock();
            running_.store(false);
            signal_loop(connection_.loop());  // it may be waiting for room
            connection_.unlock();
            thread_.join();
        }
        if (stream_) {
            connection_.lock();
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            connection_.unlock();
        }
    }

    PulseStreamOutput(const PulseStreamOutput&) = delete;
    PulseStreamOutput& operator=(const PulseStreamOutput&) = delete;

    bool start()
    {
        if (!connection_.connect())
            return false;
        connection_.lock();
        const bool connected = connect_stream();
        connection_.unlock();
        if (!connected)
            return false;
        running_.store(true);
        thread_ = std::thread([this] { play(); });
        return true;
    }

    void wake() override
    {
        connection_.lock();
        signal_loop(connection_.loop());
        connection_.unlock();
    }

private:
    // Loop locked.
    bool connect_stream()
    {
        pa_sample_spec format{};
        format.format = PA_SAMPLE_FLOAT32NE;
        format.rate = static_cast<std::uint32_t>(sample_rate_);
        format.channels = channels;
        if (!pa_sample_spec_valid(&format))
            return false;
        stream_ = pa_stream_new(connection_.context(), "Music", &format, nullptr);
        if (!stream_)
            return false;
        pa_stream_set_state_callback(
            stream_, [](pa_stream*, void* loop) { signal_loop(loop); }, connection_.loop());
        pa_stream_set_write_callback(
            stream_, [](pa_stream*, std::size_t, void* loop) { signal_loop(loop); },
            connection_.loop());
        pa_buffer_attr buffer{};
        buffer.maxlength = static_cast<std::uint32_t>(-1);
        buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(server_buffer_usec, &format));
        buffer.minreq = static_cast<std::uint32_t>(
            connection_.on_pipewire() ? pipewire_request_frames * frame_bytes
                                      : pa_usec_to_bytes(request_usec, &format));
        // No prebuffering: the stream plays from the start and never stops
        // to fill up again. Should the server ever run dry, sound that
        // comes late is skipped rather than played late, so that the music
        // after the gap stays in its place.
        buffer.prebuf = 0;
        buffer.fragsize = static_cast<std::uint32_t>(-1);
        // Early requests: the sink renders only a request's worth ahead, and
        // the rest of the buffer stays in the stream, where a flush drops it.
        if (pa_stream_connect_playback(stream_, nullptr, &buffer, PA_STREAM_EARLY_REQUESTS, nullptr,
                                       nullptr) < 0)
            return false;
        return connection_.wait_until([this] {
                   const pa_stream_state_t state = pa_stream_get_state(stream_);
                   return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
               }) &&
               pa_stream_get_state(stream_) == PA_STREAM_READY;
    }

    // Drops what the server holds of the stream. Loop locked.
    void flush()
    {
        if (pa_operation* flushing = pa_stream_flush(stream_, nullptr, nullptr))
            pa_operation_unref(flushing);
    }

    bool failed() const override { return failed_.load(); }
    bool tells_failure() const override { return true; }

    // The output's thread. Ends when the stream fails (the server went
    // away): the ring is then no longer read.
    void play()
    {
        set_current_thread_priority(ThreadPriority::timely);
        std::vector<float> sound(write_frames * channels);
        connection_.lock();
        while (running_.load()) {
            if (pa_stream_get_state(stream_) != PA_STREAM_READY)
                break;
            if (ring_.drop_pending()) {
                ring_.read(sound.data(), 0);
                flush();
            }
            const std::size_t room = pa_stream_writable_size(stream_);
            if (room == static_cast<std::size_t>(-1))
                break;
            const std::size_t frames = std::min({room / frame_bytes, ring_.available(), write_frames});
            if (frames == 0) {
                if (room / frame_bytes == 0) {
                    connection_.wait();
                } else {
                    // The ring has run dry: its writer fills it within a
                    // millisecond or two.
                    connection_.unlock();
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    connection_.lock();
                }
                continue;
            }
            const std::size_t got = ring_.read(sound.data(), frames);
            if (pa_stream_write(stream_, sound.data(), got * frame_bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
                break;
        }
        failed_.store(running_.load());
        connection_.unlock();
    }

    PulseConnection connection_;
    pa_stream* stream_ = nullptr;
    FrameRing& ring_;
    double sample_rate_;
    std::atomic<bool> running_{false};
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

}  // namespace

AudioOutputPtr open_pulse_stream_output(double sample_rate, FrameRing& ring)
{
    auto output = std::make_unique<PulseStreamOutput>(sample_rate, ring);
    if (!output->start())
        return nullptr;
    return output;
}

}  // namespace tambelo
