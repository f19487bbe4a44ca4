#pragma once

#include "library/midi/frame_ring.h"
#include "library/midi/midi_device.h"
#include "library/platform/clock.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace tambelo {

// What a FramePacer drives: a synthesizer that renders on demand and takes
// messages between renderings. Called on the pacing thread only.
class PacedSynth {
public:
    virtual ~PacedSynth() = default;
    // Adds the next `frames` frames of sound to `left` and `right`.
    virtual void render(float* left, float* right, int frames) = 0;
    virtual void apply_short(std::uint32_t message) = 0;
    virtual void apply_long(const std::uint8_t* bytes, std::size_t length) = 0;
};

// The live synthesizer's clock: the music's time is the sound rendered.
//
// The playback thread reads its time here and sleeps here, exactly as it
// would on the system's clock; a sleep renders the sound of the time slept
// into a ring that the audio output drains, and waits only while the ring is
// full. So the music runs at the rate the output plays, whatever the output's
// server does with its buffers, its bursts or its stalls, and never drifts
// from it: there is no second clock to follow.
//
// The reading runs `lead_ms` ahead of the sound rendered. A message sent with
// the moment its tick fell due (at most `lead_ms` ago, as the playback thread
// wakes exactly on the ms the tick falls due) is applied at the start of the
// synthesizer's block (`block_frames`, counted from its first frame) nearest
// that moment's frame; one without a moment belongs to the reading itself.
// Messages take effect in the order they were sent: one whose frame has
// already been rendered, or lies before an earlier one's, is applied with the
// next block.
//
// One thread, the playback thread, calls everything here.
class FramePacer final : public Clock {
public:
    // Waits a little (about a millisecond) for the output to take sound
    // from a full ring; a test drains the ring here instead.
    using Wait = std::function<void()>;
    // Asked while a sleep waits for room: true ends the sleep early (a new
    // request came, or the player is quitting).
    using Interrupted = std::function<bool()>;

    static constexpr double lead_ms = 2.0;

    FramePacer(PacedSynth& synth, FrameRing& ring, double sample_rate, Wait wait,
               int block_frames = 64);

    std::uint32_t now_ms() override;
    double precise_ms() override;
    // Renders up to the frame at which the reading has moved on by
    // `duration_ms`, waiting for room in the ring as needed.
    void sleep_ms(std::uint32_t duration_ms) override;

    void set_interrupted(Interrupted interrupted) { interrupted_ = std::move(interrupted); }

    void post_short(std::uint32_t message, const DueMoment* due);
    void post_long(const std::uint8_t* bytes, std::size_t length, const DueMoment* due);

    // A break in the music: queued messages take effect at once, and every
    // frame rendered so far that the output has not taken is dropped, so the
    // next sound rendered is the next heard.
    void drop_rendered();

    // Frames rendered since construction.
    std::int64_t frames_rendered() const { return position_; }
    double sample_rate() const { return rate_; }

private:
    struct Message {
        std::int64_t frame;  // a block start, or where the rendering stood
        std::uint32_t short_message;
        std::vector<std::uint8_t> long_bytes;  // empty for a short message
    };

    double reading_ms() const;
    std::int64_t frame_of(const DueMoment* due) const;
    void queue(Message message);
    void apply_due_messages();
    void apply(const Message& message);
    void render_until(std::int64_t frame);

    PacedSynth& synth_;
    FrameRing& ring_;
    const double rate_;
    const int block_frames_;
    Wait wait_;
    Interrupted interrupted_;

    std::int64_t position_ = 0;  // frames rendered
    std::deque<Message> queued_;
    std::int64_t last_frame_ = 0;  // frame of the last message queued
    std::vector<float> left_, right_, interleaved_;
};

}  // namespace tambelo
