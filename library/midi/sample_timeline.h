#pragma once

#include "library/midi/frame_clock.h"
#include "library/midi/midi_device.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tambelo {

class Clock;

// What a SampleTimeline drives: a synthesizer that renders on demand and
// takes messages between renderings. Called on the rendering thread only.
class TimelineSynth {
public:
    virtual ~TimelineSynth() = default;
    // Adds the next `frames` frames of sound to `left` and `right`.
    virtual void render(float* left, float* right, int frames) = 0;
    virtual void apply_short(std::uint32_t message) = 0;
    virtual void apply_long(const std::uint8_t* bytes, std::size_t length) = 0;
};

// How far behind the renderings' upper edge a message's moment is placed.
// It absorbs the sending thread's lateness: a message sent up to this much
// after its moment still sounds exactly on time.
struct TimelineLatency {
    double start_ms = 10.0;
    // Adaptive: a message that comes too late for its frame raises the
    // latency to what it would have needed (plus a margin), up to `ceiling_ms`;
    // the latency then sinks slowly back towards `start_ms`, its floor.
    // Otherwise it stays at `start_ms`.
    bool adaptive = true;
    double ceiling_ms = 200.0;
};

// Plays messages at the sample frame of their moment. The sending thread
// posts each message with the moment it belongs to (or none: now); the
// rendering thread, pulled by the audio output in bursts of its own
// choosing, renders up to each message's frame, applies it and renders on.
// A message's frame is the upper edge of the renderings at its moment (on
// the stream's own frame clock, estimated from the renderings: FrameClock)
// plus the latency; a message posted too late for its frame is applied at
// the start of the next rendering. Messages are applied in the order they
// were posted, whatever their moments, so nothing posted before an All Sound
// Off can sound after it.
//
// When the output gives no usable clock (it pulls in bursts spread wider
// than `max_spread_ms` for seconds on end), the timeline gives up placing messages and applies
// each at the start of the next rendering, as they come; `gave_up_timing`
// then says so.
//
// One sending thread and one rendering thread; no lock, no allocation after
// construction.
class SampleTimeline {
public:
    // `block_frames`: the synth applies a message only at the start of one
    // of its blocks of this many frames, counted from its first frame; the
    // timeline then picks the block start nearest to the message's frame.
    SampleTimeline(TimelineSynth& synth, Clock& clock, double sample_rate,
                   const TimelineLatency& latency, int block_frames = 64);
    ~SampleTimeline();
    SampleTimeline(const SampleTimeline&) = delete;
    SampleTimeline& operator=(const SampleTimeline&) = delete;

    // Sending thread. False when the queue is full (the rendering has
    // stalled for thousands of messages) or a long message is longer than
    // `max_long_bytes`; the message is then lost.
    bool post_short(std::uint32_t message, const DueMoment* due = nullptr);
    bool post_long(const std::uint8_t* bytes, std::size_t length, const DueMoment* due = nullptr);

    // Rendering thread: adds the next `frames` frames to `left` and `right`.
    void render(float* left, float* right, int frames);

    // The rate the audio output really runs at, when it turns out to differ
    // from the one given at construction (a server that runs at its own
    // rate and has the synth follow it). Any thread; the next rendering
    // starts the frame clock afresh on it.
    void set_stream_rate(double sample_rate);

    // The latency now in use (rendering thread).
    double latency_ms() const { return latency_ms_; }
    // The stream's frame clock (rendering thread).
    const FrameClock& frame_clock() const { return frame_clock_; }
    // Frames rendered so far (rendering thread).
    std::int64_t frames_rendered() const { return position_; }
    // How many messages came too late for their frame (any thread).
    std::uint64_t late_messages() const { return late_.load(std::memory_order_relaxed); }
    // Whether the output's bursts were too wide to time messages by, so that
    // they are applied as they come (any thread).
    bool gave_up_timing() const { return gave_up_.load(std::memory_order_relaxed); }

    static constexpr std::size_t max_long_bytes = 64;
    static constexpr std::size_t capacity = 8192;
    // Bursts spread wider than this (after the first seconds) leave no
    // usable clock: a latency that covered them would delay every request
    // by more than a listener accepts.
    static constexpr double max_spread_ms = 250.0;

private:
    struct Entry {
        double moment_ms;  // on the timeline's own count, from `epoch_ms_`
        std::uint32_t short_message;
        std::uint32_t long_length;  // 0 for a short message
        std::uint8_t long_bytes[max_long_bytes];
    };

    double moment_of(const DueMoment* due);
    bool push(const Entry& entry);
    void follow_stream(double now_ms, int frames);
    std::int64_t frame_of(double moment_ms) const;
    void note_late(std::int64_t frames_late);
    void render_span(float*& left, float*& right, std::int64_t until);

    TimelineSynth& synth_;
    Clock& clock_;
    const TimelineLatency latency_;
    const int block_frames_;
    const double epoch_ms_;  // the clock's precise reading at construction

    std::unique_ptr<Entry[]> entries_;
    std::atomic<std::size_t> head_{0};  // next to apply; rendering thread writes
    std::atomic<std::size_t> tail_{0};  // next free; sending thread writes
    std::atomic<std::uint64_t> late_{0};
    std::atomic<double> stream_rate_;  // frames per second
    std::atomic<bool> gave_up_{false};

    // Rendering thread only.
    double clock_rate_;  // frames per second the frame clock was started on
    FrameClock frame_clock_;
    std::int64_t position_ = 0;  // frames rendered
    double latency_ms_;
    double last_render_ms_ = 0.0;
    double too_wide_since_ms_ = 0.0;
};

}  // namespace tambelo
