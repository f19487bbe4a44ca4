#include "library/midi/sample_timeline.h"
#include "library/sequencer.h"
#include "library/voice_set.h"
#include "tests/support/event_streams.h"
#include "tests/support/manual_player.h"
#include "tests/support/sequencer_driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tambelo {
namespace {

using namespace tambelo::testing;

constexpr double rate = 48000.0;
constexpr double latency_ms = 20.0;
constexpr int burst_frames = 960;  // 20 ms, pulled every 20 ms of the clock

struct Applied {
    std::int64_t frame;
    std::uint32_t message;
};

// Stands in for the synth: counts the frames rendered and notes the frame
// at which each message is applied.
class FrameLog final : public TimelineSynth {
public:
    void render(float*, float*, int frames) override { frame_ += frames; }
    void apply_short(std::uint32_t message) override { applied.push_back({frame_, message}); }
    void apply_long(const std::uint8_t*, std::size_t) override {}

    std::vector<Applied> applied;

private:
    std::int64_t frame_ = 0;
};

// The Player's device: every message through the timeline, with its moment
// when the sequencer gives one.
class TimelineDevice final : public MidiDevice {
public:
    explicit TimelineDevice(SampleTimeline& timeline) : timeline_(timeline) {}
    bool send_short(std::uint32_t message) override { return timeline_.post_short(message); }
    bool send_short_at(std::uint32_t message, const DueMoment& due) override
    {
        return timeline_.post_short(message, &due);
    }
    bool send_long(MidiHeader& header) override
    {
        header.flags.fetch_or(midi_header_done);
        return true;
    }

private:
    SampleTimeline& timeline_;
};

// Plays a click every 7 ticks on a virtual clock, the audio pulled in bursts
// of 20 ms, the sequencer called only every `wake_every_ms` (a playback
// thread that wakes that late). Returns the note-ons as applied.
std::vector<Applied> play_clicks(std::uint32_t wake_every_ms, double* first_due_ms = nullptr)
{
    ManualPlayer harness(5000);
    Player& player = harness.player();
    FrameLog synth;
    SampleTimeline timeline(synth, harness.clock(), rate, latency_ms);
    player.midi_out = std::make_unique<TimelineDevice>(timeline);

    reset_voice_set(player);
    write_empty_streams(player);
    StreamWriter(player, 0).note(60, 1).rest(6).note(62, 1).rest(6).note(64, 1).rest(6).end(0);
    start_track(harness);
    if (first_due_ms)  // tick 16, relative to the timeline's start
        *first_due_ms = 15 * tick_length_ms(player);

    std::vector<float> left(burst_frames), right(burst_frames);
    for (std::uint32_t ms = 0; ms < 1000; ++ms) {
        if (ms % 20 == 0)
            timeline.render(left.data(), right.data(), burst_frames);
        if (ms % wake_every_ms == 0)
            advance_sequencer(player);
        harness.clock().advance_ms(1);
    }
    EXPECT_EQ(timeline.late_messages(), 0u);
    std::vector<Applied> notes;
    for (const Applied& applied : synth.applied)
        if ((applied.message & 0xF0) == 0x90 && (applied.message >> 16) != 0)
            notes.push_back(applied);
    harness.finish();  // while the timeline still lives
    return notes;
}

TEST(SampleTimeline, NotesLandOnTheFramesOfTheirTicksHoweverLateTheThreadWakes)
{
    double first_due_ms = 0;
    const std::vector<Applied> on_time = play_clicks(1, &first_due_ms);
    const std::vector<Applied> late = play_clicks(15);
    ASSERT_GE(on_time.size(), 6u);
    ASSERT_EQ(late.size(), on_time.size());
    for (std::size_t i = 0; i < on_time.size(); ++i) {
        EXPECT_EQ(late[i].frame, on_time[i].frame) << "note " << i;
        EXPECT_EQ(late[i].message, on_time[i].message) << "note " << i;
    }
    // The renderings run one burst ahead of the clock, so a moment m sounds
    // at frame (m + latency) x rate + one burst and 1 ms of headroom, on the
    // nearest 64-frame block. The first click is tick 16's, sent almost 4 ms late by the late
    // thread.
    const double exact = (first_due_ms + latency_ms + 1.0) * rate / 1000.0 + burst_frames;
    EXPECT_EQ(on_time[0].frame, static_cast<std::int64_t>(std::floor(exact / 64 + 0.5)) * 64);
}

TEST(SampleTimeline, AMessageWithoutAMomentWaitsBehindEarlierOnesAndLateOnesPlayAtOnce)
{
    VirtualClock clock(100);
    FrameLog synth;
    SampleTimeline timeline(synth, clock, rate, latency_ms);
    std::vector<float> left(burst_frames), right(burst_frames);
    timeline.render(left.data(), right.data(), burst_frames);

    // A note whose moment is already past the latency plays at the start of
    // the next rendering; the All Sound Off sent after it still comes after.
    clock.advance_ms(30);
    const DueMoment long_ago{100, 30.0};
    timeline.post_short(0x7F3C90, &long_ago);
    timeline.post_short(0x0078B0);
    for (int i = 0; i < 3; ++i) {
        timeline.render(left.data(), right.data(), burst_frames);
        clock.advance_ms(20);
    }
    ASSERT_EQ(synth.applied.size(), 2u);
    EXPECT_EQ(synth.applied[0].message, 0x7F3C90u);
    EXPECT_EQ(synth.applied[0].frame, burst_frames);
    EXPECT_EQ(synth.applied[1].message, 0x0078B0u);
    EXPECT_GT(synth.applied[1].frame, synth.applied[0].frame);
    EXPECT_EQ(timeline.late_messages(), 1u);
}

}  // namespace
}  // namespace tambelo
