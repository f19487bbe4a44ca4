#include "library/midi/pulse_stream_output.h"

#include "library/platform/thread.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace tambelo {
namespace {

constexpr int write_frames = 64;
constexpr int channels = 2;
// The server buffer we ask for, the whole delay from our write to the sink.
// With 20 ms an idle null sink still ran dry once or twice in 20 s, with
// 30 ms not in three such runs; more would only delay every change.
constexpr pa_usec_t server_buffer_usec = 30'000;

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
        // only through the loop's thread: it must get the processor as
        // readily as the thread that renders, or a busy machine starves the
        // stream however large its buffer.
        pa_threaded_mainloop_once_unlocked(
            loop_, [](pa_threaded_mainloop*, void*) { raise_current_thread_priority(); }, nullptr);
        lock();
        pa_context_state_t state;
        while ((state = pa_context_get_state(context_)) != PA_CONTEXT_READY &&
               PA_CONTEXT_IS_GOOD(state))
            wait();
        unlock();
        return state == PA_CONTEXT_READY;
    }

    // The server's name, as it reports it ("pulseaudio", or "PulseAudio
    // (on PipeWire 0.3.65)"). Loop locked.
    std::string server_name()
    {
        struct Answer {
            pa_threaded_mainloop* loop;
            std::string name;
        } answer{loop_, {}};
        pa_operation* asking = pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* reply = static_cast<Answer*>(data);
                if (info && info->server_name)
                    reply->name = info->server_name;
                signal_loop(reply->loop);
            },
            &answer);
        if (!asking)
            return {};
        while (pa_operation_get_state(asking) == PA_OPERATION_RUNNING)
            wait();
        pa_operation_unref(asking);
        return answer.name;
    }

    pa_context* context() { return context_; }
    pa_threaded_mainloop* loop() { return loop_; }
    void lock() { pa_threaded_mainloop_lock(loop_); }
    void unlock() { pa_threaded_mainloop_unlock(loop_); }
    void wait() { pa_threaded_mainloop_wait(loop_); }

private:
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

bool is_pipewire(const std::string& server_name)
{
    return server_name.find("PipeWire") != std::string::npos;
}

// The stream and the thread that renders into it. The thread renders one
// write's worth, then waits until the server's buffer has room for it, as
// a blocking write would: the moments at which it renders follow the
// server's pull.
class PulseStreamOutput final : public AudioOutput {
public:
    PulseStreamOutput(double sample_rate, fluid_audio_func_t render, void* render_data)
        : render_(render), render_data_(render_data), sample_rate_(sample_rate)
    {
    }

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
        const bool connected = !is_pipewire(connection_.server_name()) && connect_stream();
        connection_.unlock();
        if (!connected)
            return false;
        running_.store(true);
        thread_ = std::thread([this] { play(); });
        return true;
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
        // No prebuffering: the stream plays from the start and never stops
        // to fill up again. When the server runs dry (a busy machine), sound
        // that comes late is skipped instead of played late, so the stream
        // stays on its clock and every later note on its frame, as through
        // JACK; a stream that paused to fill up again would play everything
        // after the gap that much later.
        buffer.prebuf = 0;
        buffer.minreq = static_cast<std::uint32_t>(-1);
        buffer.fragsize = static_cast<std::uint32_t>(-1);
        // The buffer is the whole delay from our write to the speaker, the
        // server's own included.
        if (pa_stream_connect_playback(stream_, nullptr, &buffer, PA_STREAM_ADJUST_LATENCY, nullptr,
                                       nullptr) < 0)
            return false;
        pa_stream_state_t state;
        while ((state = pa_stream_get_state(stream_)) != PA_STREAM_READY && PA_STREAM_IS_GOOD(state))
            connection_.wait();
        return state == PA_STREAM_READY;
    }

    // The output's thread.
    void play()
    {
        raise_current_thread_priority();
        std::vector<float> left(write_frames), right(write_frames), interleaved(write_frames * channels);
        float* planes[channels] = {left.data(), right.data()};
        while (running_.load()) {
            std::fill(left.begin(), left.end(), 0.0f);
            std::fill(right.begin(), right.end(), 0.0f);
            render_(render_data_, write_frames, 0, nullptr, channels, planes);
            for (int frame = 0; frame < write_frames; ++frame) {
                interleaved[frame * channels] = left[frame];
                interleaved[frame * channels + 1] = right[frame];
            }
            if (!write(interleaved))
                return;  // the server went away: the sound stops, as any player's would
        }
    }

    // Writes all of `sound`, waiting for room as needed; false when the
    // stream failed. Stops early (true) when the output is being destroyed.
    bool write(const std::vector<float>& sound)
    {
        const auto* bytes = reinterpret_cast<const char*>(sound.data());
        std::size_t left_to_write = sound.size() * sizeof(float);
        connection_.lock();
        bool good = true;
        while (left_to_write > 0 && running_.load()) {
            if (pa_stream_get_state(stream_) != PA_STREAM_READY) {
                good = false;
                break;
            }
            const std::size_t room = pa_stream_writable_size(stream_);
            if (room == static_cast<std::size_t>(-1)) {
                good = false;
                break;
            }
            if (room == 0) {
                connection_.wait();
                continue;
            }
            const std::size_t count = std::min(room, left_to_write);
            if (pa_stream_write(stream_, bytes, count, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                good = false;
                break;
            }
            bytes += count;
            left_to_write -= count;
        }
        connection_.unlock();
        return good;
    }

    PulseConnection connection_;
    pa_stream* stream_ = nullptr;
    fluid_audio_func_t render_;
    void* render_data_;
    double sample_rate_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace

AudioOutputPtr open_pulse_stream_output(double sample_rate, fluid_audio_func_t render,
                                        void* render_data)
{
    if (!render)
        return nullptr;
    auto output = std::make_unique<PulseStreamOutput>(sample_rate, render, render_data);
    if (!output->start())
        return nullptr;
    return output;
}

}  // namespace tambelo
