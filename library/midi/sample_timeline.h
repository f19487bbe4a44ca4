#pragma once

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

// Plays messages at the sample frame of their moment. The sending thread
// posts each message with the moment it belongs to (or none: now); the
// rendering thread, pulled by the audio output in bursts of its own
// choosing, renders up to each message's frame, applies it and renders on.
// A message's frame is its moment plus `latency_ms`, on a mapping from the
// clock to frames that follows how far the renderings run ahead of the
// clock; a message posted too late for its frame is applied at the start of
// the next rendering. Messages are applied in the order they were posted,
// whatever their moments, so nothing posted before an All Sound Off can
// sound after it.
//
// One sending thread and one rendering thread; no lock, no allocation after
// construction.
class SampleTimeline {
public:
    // `block_frames`: the synth applies a message only at the start of one
    // of its blocks of this many frames, counted from its first frame; the
    // timeline then picks the block start nearest to the message's frame.
    SampleTimeline(TimelineSynth& synth, Clock& clock, double sample_rate, double latency_ms,
                   int block_frames = 64);
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

    double latency_ms() const { return latency_ms_; }
    // Frames rendered so far (rendering thread).
    std::int64_t frames_rendered() const { return position_; }
    // How many messages came too late for their frame (any thread).
    std::uint64_t late_messages() const { return late_.load(std::memory_order_relaxed); }

    static constexpr std::size_t max_long_bytes = 64;
    static constexpr std::size_t capacity = 8192;

private:
    struct Entry {
        double moment_ms;  // on the timeline's own count, from `epoch_ms_`
        std::uint32_t short_message;
        std::uint32_t long_length;  // 0 for a short message
        std::uint8_t long_bytes[max_long_bytes];
    };

    double moment_of(const DueMoment* due);
    bool push(const Entry& entry);
    void follow_lead(double now_ms, int frames);
    std::int64_t frame_of(double moment_ms) const;
    void render_span(float*& left, float*& right, std::int64_t until);

    TimelineSynth& synth_;
    Clock& clock_;
    const double frames_per_ms_;
    const double latency_ms_;
    const int block_frames_;
    const double epoch_ms_;  // the clock's precise reading at construction

    std::unique_ptr<Entry[]> entries_;
    std::atomic<std::size_t> head_{0};  // next to apply; rendering thread writes
    std::atomic<std::size_t> tail_{0};  // next free; sending thread writes
    std::atomic<std::uint64_t> late_{0};

    // Rendering thread only.
    std::int64_t position_ = 0;  // frames rendered
    bool anchored_ = false;
    // How far the renderings run ahead of the clock, in frames, with some
    // headroom: the upper edge of (frames rendered by the end of a rendering)
    // - (clock time in frames at its start), followed slowly (follow_lead).
    double lead_frames_ = 0.0;
    double anchor_ms_ = 0.0;  // the first rendering
    double last_render_ms_ = 0.0;
    double window_start_ms_ = 0.0;
    double window_max_ = 0.0;
    double previous_window_max_ = 0.0;
};

}  // namespace tambelo
